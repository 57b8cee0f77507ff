#pragma once

namespace tovira::win32 {

// Joins the calling thread to a single-threaded COM apartment the first time it is needed, as the shell and the
// picture decoders ask. Never left again: the apartment lives as long as the thread.
void EnsureComApartment();

} // namespace tovira::win32
