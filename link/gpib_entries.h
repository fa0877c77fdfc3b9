// The one table of the GPIB library entries the program binds: kind, result,
// NI-488.2 name, parameters and the argument list that forwards them.
// Kinds: Trad (traditional routine, returns ibsta), Desc (returns a
// descriptor, -1 when unbound), Multi (multi-device routine, no result),
// Thread (per-thread status reader: passed through, no status copied).
#pragma once

#define QRT_GPIB_ENTRIES(X)                                                                  \
  X(Trad, int, ibask, (int ud, int option, int* v), (ud, option, v))                         \
  X(Trad, int, ibbnaA, (int ud, char* udname), (ud, udname))                                 \
  X(Trad, int, ibbnaW, (int ud, wchar_t* udname), (ud, udname))                              \
  X(Trad, int, ibcac, (int ud, int v), (ud, v))                                              \
  X(Trad, int, ibclr, (int ud), (ud))                                                        \
  X(Trad, int, ibcmd, (int ud, const void* buf, long cnt), (ud, buf, cnt))                   \
  X(Trad, int, ibcmda, (int ud, const void* buf, long cnt), (ud, buf, cnt))                  \
  X(Trad, int, ibconfig, (int ud, int option, int v), (ud, option, v))                       \
  X(Desc, int, ibdev, (int boardID, int pad, int sad, int tmo, int eot, int eos),            \
    (boardID, pad, sad, tmo, eot, eos))                                                      \
  X(Trad, int, ibdiag, (int ud, void* buf, long cnt), (ud, buf, cnt))                        \
  X(Trad, int, ibdma, (int ud, int v), (ud, v))                                              \
  X(Trad, int, ibeos, (int ud, int v), (ud, v))                                              \
  X(Trad, int, ibeot, (int ud, int v), (ud, v))                                              \
  X(Trad, int, ibevent, (int ud, short* event), (ud, event))                                 \
  X(Trad, int, ibeventx, (int ud, short* event), (ud, event))                                \
  X(Desc, int, ibexpert, (int ud, int option, void* input, void* output), (ud, option, input, output)) \
  X(Desc, int, ibfindA, (const char* udname), (udname))                                      \
  X(Desc, int, ibfindW, (const wchar_t* udname), (udname))                                   \
  X(Trad, int, ibgts, (int ud, int v), (ud, v))                                              \
  X(Trad, int, ibist, (int ud, int v), (ud, v))                                              \
  X(Trad, int, iblck, (int ud, int v, unsigned int lockWaitTime, void* reserved),            \
    (ud, v, lockWaitTime, reserved))                                                         \
  X(Trad, int, iblines, (int ud, short* result), (ud, result))                               \
  X(Trad, int, ibln, (int ud, int pad, int sad, short* listen), (ud, pad, sad, listen))      \
  X(Trad, int, ibloc, (int ud), (ud))                                                        \
  X(Trad, int, ibnotify, (int ud, int mask, platform::GpibNotifyCallback callback, void* refData), \
    (ud, mask, callback, refData))                                                           \
  X(Trad, int, ibonl, (int ud, int v), (ud, v))                                              \
  X(Trad, int, ibpad, (int ud, int v), (ud, v))                                              \
  X(Trad, int, ibpct, (int ud), (ud))                                                        \
  X(Trad, int, ibpoke, (int ud, long option, long v), (ud, option, v))                       \
  X(Trad, int, ibppc, (int ud, int v), (ud, v))                                              \
  X(Trad, int, ibrd, (int ud, void* buf, long cnt), (ud, buf, cnt))                          \
  X(Trad, int, ibrda, (int ud, void* buf, long cnt), (ud, buf, cnt))                         \
  X(Trad, int, ibrdfA, (int ud, const char* filename), (ud, filename))                       \
  X(Trad, int, ibrdfW, (int ud, const wchar_t* filename), (ud, filename))                    \
  X(Trad, int, ibrdkey, (int ud, void* buf, int cnt), (ud, buf, cnt))                        \
  X(Trad, int, ibrpp, (int ud, char* ppr), (ud, ppr))                                        \
  X(Trad, int, ibrsc, (int ud, int v), (ud, v))                                              \
  X(Trad, int, ibrsp, (int ud, char* spr), (ud, spr))                                        \
  X(Trad, int, ibrsv, (int ud, int v), (ud, v))                                              \
  X(Trad, int, ibsad, (int ud, int v), (ud, v))                                              \
  X(Trad, int, ibsic, (int ud), (ud))                                                        \
  X(Trad, int, ibsre, (int ud, int v), (ud, v))                                              \
  X(Trad, int, ibstop, (int ud), (ud))                                                       \
  X(Trad, int, ibtmo, (int ud, int v), (ud, v))                                              \
  X(Trad, int, ibtrg, (int ud), (ud))                                                        \
  X(Trad, int, ibwait, (int ud, int mask), (ud, mask))                                       \
  X(Trad, int, ibwrt, (int ud, const void* buf, long cnt), (ud, buf, cnt))                   \
  X(Trad, int, ibwrta, (int ud, const void* buf, long cnt), (ud, buf, cnt))                  \
  X(Trad, int, ibwrtfA, (int ud, const char* filename), (ud, filename))                      \
  X(Trad, int, ibwrtfW, (int ud, const wchar_t* filename), (ud, filename))                   \
  X(Trad, int, ibwrtkey, (int ud, const void* buf, int cnt), (ud, buf, cnt))                 \
  X(Trad, int, iblockxA, (int ud, int lockWaitTime, char* lockShareName), (ud, lockWaitTime, lockShareName)) \
  X(Trad, int, iblockxW, (int ud, int lockWaitTime, wchar_t* lockShareName), (ud, lockWaitTime, lockShareName)) \
  X(Trad, int, ibunlockx, (int ud), (ud))                                                    \
  X(Trad, int, iblock, (int ud), (ud))                                                       \
  X(Trad, int, ibunlock, (int ud), (ud))                                                     \
  X(Multi, void, AllSpoll, (int boardID, const Addr4882* addrlist, short* results), (boardID, addrlist, results)) \
  X(Multi, void, DevClear, (int boardID, Addr4882 addr), (boardID, addr))                    \
  X(Multi, void, DevClearList, (int boardID, const Addr4882* addrlist), (boardID, addrlist)) \
  X(Multi, void, EnableLocal, (int boardID, const Addr4882* addrlist), (boardID, addrlist))  \
  X(Multi, void, EnableRemote, (int boardID, const Addr4882* addrlist), (boardID, addrlist)) \
  X(Multi, void, FindLstn, (int boardID, const Addr4882* addrlist, Addr4882* results, int limit), \
    (boardID, addrlist, results, limit))                                                     \
  X(Multi, void, FindRQS, (int boardID, const Addr4882* addrlist, short* devStat), (boardID, addrlist, devStat)) \
  X(Multi, void, PPoll, (int boardID, short* result), (boardID, result))                     \
  X(Multi, void, PPollConfig, (int boardID, Addr4882 addr, int dataLine, int lineSense),     \
    (boardID, addr, dataLine, lineSense))                                                    \
  X(Multi, void, PPollUnconfig, (int boardID, const Addr4882* addrlist), (boardID, addrlist)) \
  X(Multi, void, PassControl, (int boardID, Addr4882 addr), (boardID, addr))                 \
  X(Multi, void, RcvRespMsg, (int boardID, void* buffer, long cnt, int termination),         \
    (boardID, buffer, cnt, termination))                                                     \
  X(Multi, void, ReadStatusByte, (int boardID, Addr4882 addr, short* result), (boardID, addr, result)) \
  X(Multi, void, Receive, (int boardID, Addr4882 addr, void* buffer, long cnt, int termination), \
    (boardID, addr, buffer, cnt, termination))                                               \
  X(Multi, void, ReceiveSetup, (int boardID, Addr4882 addr), (boardID, addr))               \
  X(Multi, void, ResetSys, (int boardID, const Addr4882* addrlist), (boardID, addrlist))    \
  X(Multi, void, Send, (int boardID, Addr4882 addr, const void* databuf, long datacnt, int eotMode), \
    (boardID, addr, databuf, datacnt, eotMode))                                              \
  X(Multi, void, SendCmds, (int boardID, const void* buffer, long cnt), (boardID, buffer, cnt)) \
  X(Multi, void, SendDataBytes, (int boardID, const void* buffer, long cnt, int eotMode),    \
    (boardID, buffer, cnt, eotMode))                                                         \
  X(Multi, void, SendIFC, (int boardID), (boardID))                                          \
  X(Multi, void, SendLLO, (int boardID), (boardID))                                          \
  X(Multi, void, SendList, (int boardID, const Addr4882* addrlist, const void* databuf, long datacnt, int eotMode), \
    (boardID, addrlist, databuf, datacnt, eotMode))                                          \
  X(Multi, void, SendSetup, (int boardID, const Addr4882* addrlist), (boardID, addrlist))   \
  X(Multi, void, SetRWLS, (int boardID, const Addr4882* addrlist), (boardID, addrlist))     \
  X(Multi, void, TestSRQ, (int boardID, short* result), (boardID, result))                   \
  X(Multi, void, TestSys, (int boardID, const Addr4882* addrlist, short* results), (boardID, addrlist, results)) \
  X(Multi, void, Trigger, (int boardID, Addr4882 addr), (boardID, addr))                     \
  X(Multi, void, TriggerList, (int boardID, const Addr4882* addrlist), (boardID, addrlist))  \
  X(Multi, void, WaitSRQ, (int boardID, short* result), (boardID, result))                   \
  X(Thread, int, ThreadIbsta, (void), ())                                                    \
  X(Thread, int, ThreadIberr, (void), ())                                                    \
  X(Thread, int, ThreadIbcnt, (void), ())                                                    \
  X(Thread, long, ThreadIbcntl, (void), ())
