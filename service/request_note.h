// What a handler wants said about its request in the request's log line (the operation, the
// user, the answer; never a password). Kept per thread: a request is handled and logged on
// the thread that read it.
#pragma once

#include <string>

namespace fotrel::service {

void NoteRequest(std::string note);
std::string TakeRequestNote();

}  // namespace fotrel::service
