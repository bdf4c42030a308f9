// The two records exchanged with the download engine: the task parameters
// (DownTaskSetup, 26,564 bytes, passed to XL_CreateTask) and the task status
// (DownTaskInfo, 1,429 bytes, packed, filled by XL_QueryTaskInfoEx). Both are
// byte-packed little-endian blocks built field by field with FlatRecord.
#pragma once

#include <cstdint>
#include <string>

#include "download/flat_record.h"

namespace mv::dl {

// A FlatRecord with the typed accessors both records share. Texts are GBK
// outside and UTF-16LE in the block (converted through the platform with code
// page 936); numbers are little-endian.
class TaskRecord : public FlatRecord {
 protected:
  std::string GetText(const char* name) const;
  // Cut to the field's width, always leaving room for the terminating zero.
  bool SetText(const char* name, const std::string& text);
  int32_t GetInt(const char* name) const;
  bool SetInt(const char* name, int32_t v);
  int64_t GetInt64(const char* name) const;
  bool SetInt64(const char* name, int64_t v);
  float GetFloat(const char* name) const;
  bool SetFloat(const char* name, float v);
  bool GetBool(const char* name) const { return GetInt(name) != 0; }
  bool SetBool(const char* name, bool v) { return SetInt(name, v ? 1 : 0); }
  uint8_t GetByte(const char* name) const;
  bool SetByte(const char* name, uint8_t v);
  // Adds a text field of `units` UTF-16 units holding `text`.
  bool AddText(const char* name, size_t units, const std::string& text);
  bool AddInt(const char* name, int32_t v);
  bool AddZero(const char* name, size_t width) { return AddField(name, width); }
};

class DownTaskSetup : public TaskRecord {
 public:
  static constexpr size_t kSize = 26564;

  // Lays the sixteen fields out afresh. Non-zero on success.
  bool Build(const std::string& url, const std::string& ref_url, const std::string& cookies,
             const std::string& file_name, const std::string& save_path, bool is_only_original,
             bool disable_auto_rename, bool is_resume = true);

  std::string szTaskUrl() const { return GetText("szTaskUrl"); }
  bool szTaskUrl(const std::string& v) { return SetText("szTaskUrl", v); }
  std::string szRefUrl() const { return GetText("szRefUrl"); }
  bool szRefUrl(const std::string& v) { return SetText("szRefUrl", v); }
  std::string szCookies() const { return GetText("szCookies"); }
  bool szCookies(const std::string& v) { return SetText("szCookies", v); }
  std::string szFilename() const { return GetText("szFilename"); }
  bool szFilename(const std::string& v) { return SetText("szFilename", v); }
  std::string szSavePath() const { return GetText("szSavePath"); }
  bool szSavePath(const std::string& v) { return SetText("szSavePath", v); }
  bool IsOnlyOriginal() const { return GetBool("IsOnlyOriginal"); }
  bool IsOnlyOriginal(bool v) { return SetBool("IsOnlyOriginal", v); }
  bool DisableAutoRename() const { return GetBool("DisableAutoRename"); }
  bool DisableAutoRename(bool v) { return SetBool("DisableAutoRename", v); }
  bool IsResume() const { return GetBool("IsResume"); }
  bool IsResume(bool v) { return SetBool("IsResume", v); }
};

class DownTaskInfo : public TaskRecord {
 public:
  static constexpr size_t kSize = 1429;

  // Lays the fields out afresh: stat 2, everything else zero. Returns the
  // block's address (non-zero) on success, 0 on failure.
  uintptr_t Build();

  int32_t stat() const { return GetInt("stat"); }
  bool stat(int32_t v) { return SetInt("stat", v); }
  int32_t fail_code() const { return GetInt("fail_code"); }
  bool fail_code(int32_t v) { return SetInt("fail_code", v); }
  std::string szFilename() const { return GetText("szFilename"); }
  bool szFilename(const std::string& v) { return SetText("szFilename", v); }
  int64_t nTotalSize() const { return GetInt64("nTotalSize"); }
  bool nTotalSize(int64_t v) { return SetInt64("nTotalSize", v); }
  int64_t nTotalDownload() const { return GetInt64("nTotalDownload"); }
  bool nTotalDownload(int64_t v) { return SetInt64("nTotalDownload", v); }
  float fPercent() const { return GetFloat("fPercent"); }
  bool fPercent(float v) { return SetFloat("fPercent", v); }
  int32_t nSrcTotal() const { return GetInt("nSrcTotal"); }
  bool nSrcTotal(int32_t v) { return SetInt("nSrcTotal", v); }
  int32_t nSrcUsing() const { return GetInt("nSrcUsing"); }
  bool nSrcUsing(int32_t v) { return SetInt("nSrcUsing", v); }
  int64_t nDonationP2P() const { return GetInt64("nDonationP2P"); }
  bool nDonationP2P(int64_t v) { return SetInt64("nDonationP2P", v); }
  int64_t nDonationOrgin() const { return GetInt64("nDonationOrgin"); }
  bool nDonationOrgin(int64_t v) { return SetInt64("nDonationOrgin", v); }
  int64_t nDonationP2S() const { return GetInt64("nDonationP2S"); }
  bool nDonationP2S(int64_t v) { return SetInt64("nDonationP2S", v); }
  int32_t nSpeed() const { return GetInt("nSpeed"); }
  bool nSpeed(int32_t v) { return SetInt("nSpeed", v); }
  int32_t nSpeedP2S() const { return GetInt("nSpeedP2S"); }
  bool nSpeedP2S(int32_t v) { return SetInt("nSpeedP2S", v); }
  int32_t nSpeedP2P() const { return GetInt("nSpeedP2P"); }
  bool nSpeedP2P(int32_t v) { return SetInt("nSpeedP2P", v); }
  uint8_t bIsOriginUsable() const { return GetByte("bIsOriginUsable"); }
  bool bIsOriginUsable(uint8_t v) { return SetByte("bIsOriginUsable", v); }
  float fHashPercent() const { return GetFloat("fHashPercent"); }
  bool fHashPercent(float v) { return SetFloat("fHashPercent", v); }
  int32_t IsCreatingFile() const { return GetInt("IsCreatingFile"); }
  bool IsCreatingFile(int32_t v) { return SetInt("IsCreatingFile", v); }
};

}  // namespace mv::dl
