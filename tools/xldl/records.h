// The two binary records of the engine's interface, byte-packed and
// little-endian: the task parameters a caller passes to XL_CreateTask and the
// task state XL_QueryTaskInfoEx fills in. Text fields are UTF-16LE, zero
// padded, not necessarily zero terminated when full.
#pragma once

#include <cstddef>
#include <cstdint>

namespace xldl {

#pragma pack(push, 1)

struct DownTaskSetup {
  int32_t nReserved;
  char16_t szTaskUrl[2084];
  char16_t szRefUrl[2084];
  char16_t szCookies[4096];
  char16_t szFilename[260];
  char16_t szReserved0[260];
  char16_t szSavePath[260];
  uint32_t hReserved;
  int32_t bReserved;
  char16_t szReserved1[64];
  char16_t szReserved2[64];
  int32_t IsOnlyOriginal;
  int32_t nReserved1;
  int32_t DisableAutoRename;
  int32_t IsResume;
  uint8_t reserved[8192];
};

struct DownTaskInfo {
  int32_t stat;
  int32_t fail_code;
  char16_t szFilename[260];
  char16_t szReserved0[260];
  int64_t nTotalSize;
  int64_t nTotalDownload;
  float fPercent;
  int32_t nReserved0;
  int32_t nSrcTotal;
  int32_t nSrcUsing;
  int32_t nReserved1;
  int32_t nReserved2;
  int32_t nReserved3;
  int32_t nReserved4;
  int64_t nReserved5;
  int64_t nDonationP2P;
  int64_t nReserved6;
  int64_t nDonationOrgin;
  int64_t nDonationP2S;
  int64_t nReserved7;
  int64_t nReserved8;
  int32_t nSpeed;
  int32_t nSpeedP2S;
  int32_t nSpeedP2P;
  uint8_t bIsOriginUsable;
  float fHashPercent;
  int32_t IsCreatingFile;
  uint8_t reserved[256];
};

#pragma pack(pop)

#define XLDL_AT(rec, field, off) static_assert(offsetof(rec, field) == (off), #rec "." #field)
XLDL_AT(DownTaskSetup, nReserved, 0);
XLDL_AT(DownTaskSetup, szTaskUrl, 4);
XLDL_AT(DownTaskSetup, szRefUrl, 4172);
XLDL_AT(DownTaskSetup, szCookies, 8340);
XLDL_AT(DownTaskSetup, szFilename, 16532);
XLDL_AT(DownTaskSetup, szReserved0, 17052);
XLDL_AT(DownTaskSetup, szSavePath, 17572);
XLDL_AT(DownTaskSetup, hReserved, 18092);
XLDL_AT(DownTaskSetup, bReserved, 18096);
XLDL_AT(DownTaskSetup, szReserved1, 18100);
XLDL_AT(DownTaskSetup, szReserved2, 18228);
XLDL_AT(DownTaskSetup, IsOnlyOriginal, 18356);
XLDL_AT(DownTaskSetup, nReserved1, 18360);
XLDL_AT(DownTaskSetup, DisableAutoRename, 18364);
XLDL_AT(DownTaskSetup, IsResume, 18368);
XLDL_AT(DownTaskSetup, reserved, 18372);
static_assert(sizeof(DownTaskSetup) == 26564, "DownTaskSetup size");

XLDL_AT(DownTaskInfo, stat, 0);
XLDL_AT(DownTaskInfo, fail_code, 4);
XLDL_AT(DownTaskInfo, szFilename, 8);
XLDL_AT(DownTaskInfo, szReserved0, 528);
XLDL_AT(DownTaskInfo, nTotalSize, 1048);
XLDL_AT(DownTaskInfo, nTotalDownload, 1056);
XLDL_AT(DownTaskInfo, fPercent, 1064);
XLDL_AT(DownTaskInfo, nReserved0, 1068);
XLDL_AT(DownTaskInfo, nSrcTotal, 1072);
XLDL_AT(DownTaskInfo, nSrcUsing, 1076);
XLDL_AT(DownTaskInfo, nReserved1, 1080);
XLDL_AT(DownTaskInfo, nReserved2, 1084);
XLDL_AT(DownTaskInfo, nReserved3, 1088);
XLDL_AT(DownTaskInfo, nReserved4, 1092);
XLDL_AT(DownTaskInfo, nReserved5, 1096);
XLDL_AT(DownTaskInfo, nDonationP2P, 1104);
XLDL_AT(DownTaskInfo, nReserved6, 1112);
XLDL_AT(DownTaskInfo, nDonationOrgin, 1120);
XLDL_AT(DownTaskInfo, nDonationP2S, 1128);
XLDL_AT(DownTaskInfo, nReserved7, 1136);
XLDL_AT(DownTaskInfo, nReserved8, 1144);
XLDL_AT(DownTaskInfo, nSpeed, 1152);
XLDL_AT(DownTaskInfo, nSpeedP2S, 1156);
XLDL_AT(DownTaskInfo, nSpeedP2P, 1160);
XLDL_AT(DownTaskInfo, bIsOriginUsable, 1164);
XLDL_AT(DownTaskInfo, fHashPercent, 1165);
XLDL_AT(DownTaskInfo, IsCreatingFile, 1169);
XLDL_AT(DownTaskInfo, reserved, 1173);
static_assert(sizeof(DownTaskInfo) == 1429, "DownTaskInfo size");
#undef XLDL_AT

// Task states as the records report them. Callers tell only 4 (complete) and
// 1 (failed) apart; every other value means "still going".
enum TaskStat : int32_t {
  kStatIdle = 0,     // created, not started yet
  kStatFailed = 1,   // a failure retrying cannot fix; XL_StartTask tries again
  kStatRunning = 2,  // connecting or transferring
  kStatStopped = 3,  // paused by XL_StopTask
  kStatDone = 4,     // every byte is on disk and the size is the server's
};

// fail_code values: an HTTP status (400-599) or one of these.
enum FailCode : int32_t {
  kFailNone = 0,
  kFailBadSetup = 1001,      // no URL, no file name, or a file name that is a path
  kFailFile = 1002,          // the file cannot be created or written
  kFailRetries = 1003,       // connections kept failing
  kFailWrongLength = 1004,   // the server keeps answering with the wrong length
  kFailUnsupported = 1005,   // the server's answer cannot be used (no Range support where needed)
};

}  // namespace xldl
