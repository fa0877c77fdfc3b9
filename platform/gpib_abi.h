// How the GPIB library of this operating system is called: its file name, the
// names of its status variables, its calling convention and the types of its
// interface. The per-OS part comes from the include path the build sets
// (platform/<os>/include), so the binding itself stays OS-neutral.
#pragma once
#include "platform/gpib_abi_os.h"

namespace platform {

// Types of the NI-488.2 interface.
using GpibAddr4882 = GpibAddr4882Os;                                  // bus address of the multi-device routines
using GpibNotifyCallback = int(QRT_GPIB_CALL*)(int, int, int, long, void*);  // ibnotify

}  // namespace platform
