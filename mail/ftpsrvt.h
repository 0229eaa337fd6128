#pragma once
// FTP time stamps: the 14-digit "yyyymmddhhnnss" form of MDTM, MFMT and the
// MLST/MLSD facts, local/universal conversion, file times, and the reading
// of one MLSx fact line.
#include <cstdint>
#include <string>

#include "platform/rtl/dateutils.h"

namespace mail {

// "yyyymmddhhnnss.zzz".
std::string TimeDateStr(rtl::TDateTime Value);
// Minutes to add to local time to get universal time, now.
int GetLocalBiasUTC();
rtl::TDateTime DateTimeToUTC(rtl::TDateTime Local);
rtl::TDateTime UTCToLocalDT(rtl::TDateTime Utc);
// The file's last-write time in universal time as TimeDateStr; a name
// ending in "/" names the folder itself. Empty when the file is missing.
std::string FileUtcStr(const std::string& FileName);
// Sets the last-write time (to 2-second precision, as packed file dates
// hold it); false when the file cannot be opened for writing (a link or
// anything but a regular file at the name is refused, not waited on).
bool UpdateFileAge(const std::string& FileName, rtl::TDateTime Local);
bool UpdateUFileAge(const std::string& FileName, rtl::TDateTime Utc);
// 0 for a text too short or a month/day out of range, -1 for an
// impossible date or time.
rtl::TDateTime MDTM2Date(const std::string& S);
// One MLST/MLSD line: "fact=value;fact=value; name". Facts are read from
// the fact list only, by their exact names (case-insensitive); a fact that
// is missing leaves its output empty. False when the line has no fact list
// or no name.
bool DecodeMlsResp(const std::string& Line, std::string& Name, std::string& FileType, std::string& Perms,
                   int64_t& Size, rtl::TDateTime& ModifyTime);
// Leading spaces, then decimal digits up to the first other byte; no sign.
// Stops growing at INT64_MAX rather than overflowing.
int64_t atoi(const std::string& S);

}  // namespace mail
