// The per-file piece rule of the upload worker (written next).
