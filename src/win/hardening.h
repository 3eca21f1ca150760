// The process's defences for a portable program that may be run straight
// from a download folder, among DLLs of any name that landed there.
#pragma once

namespace qh::win {

// Every later DLL load searches System32 only, never the program's folder
// or the current one; a file search looks in the current folder last; a
// corrupted heap ends the process. Process-wide and permanent: WinMain's
// first call.
void HardenProcess();

}  // namespace qh::win
