#include "service/request_note.h"

namespace fotrel::service {

namespace {
thread_local std::string t_note;
}

void NoteRequest(std::string note) { t_note = std::move(note); }

std::string TakeRequestNote() {
  std::string note = std::move(t_note);
  t_note.clear();
  return note;
}

}  // namespace fotrel::service
