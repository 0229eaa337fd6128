#pragma once
// The archiver's option objects, volume numbers and the tables that tie the
// compression mode to the level and the work buffer.
#include <cstdint>

namespace zip {

enum TAvStorePathMode { spNoPath, spRelativePath, spFullPath, spFullPathWithDrive };
enum TAvFileShareMode { smShareCompat, smShareExclusive, smShareDenyWrite, smShareDenyRead, smShareDenyNone };
enum TAvOverwriteMode { omPrompt, omAlways, omNever, omIfNewer, omIfOlder };
enum TAvVolumeSize { vsAutoDetect, vsCustom, vs1_44MB, vs100MB, vs200MB, vs250MB, vs600MB, vs650MB, vs700MB, vs4700MB };
enum TAvVolumeNumberKind { vnkFirst, vnkLast, vnkCustom, vnkUnknown };
enum TZip64Mode { zmDisabled, zmAuto, zmAlways };
enum TAvCompressionLevel { clNone, clFastest, clNormal, clMax };
enum TAvCryptoAlgorithm { caPkzipClassic, caAES_128, caAES_192, caAES_256 };
enum TAvSpanningMode { smNone, smSpanning, smSplitting };

// File attribute bits as the archive stores them.
inline constexpr uint32_t faReadOnly = 0x01, faHidden = 0x02, faSysFile = 0x04, faVolumeID = 0x08,
                          faDirectory = 0x10, faArchive = 0x20;

struct TAvOptions {
    TAvStorePathMode StorePath = spRelativePath;
    bool Recurse = true;
    TAvFileShareMode ShareMode = smShareDenyNone;
    TAvOverwriteMode OverwriteMode = omAlways;
    bool CreateDirs = true;
    bool ReplaceReadOnly = true;
    bool SetAttributes = true;
    int32_t SearchAttr = 10431;
    // Flushing is what makes a commit survive a crash: on by default.
    bool FlushBuffers = true;
    // Names are kept as UTF-8 here; the OEM code page is only read.
    bool OEMFileNames = false;

    void Assign(const TAvOptions& o) { *this = o; }
    // Open flags for source files: 0, 16, 32, 48, 64 in the enumeration's order.
    int ShareModeToInt() const { return static_cast<int>(ShareMode) * 16; }
};

class TAvVolumeNumberInfo {
public:
    int32_t VolumeNumber = -1;
    int32_t LastVolumeNumber = -1;
    TAvVolumeNumberKind VolumeKind = vnkUnknown;

    void Init() { *this = TAvVolumeNumberInfo(); }
    bool GetFirstVolume() const { return VolumeNumber == 0; }
    void SetFirstVolume(bool v);
    bool GetLastVolume() const;
    void SetLastVolume(bool v);
    void SetVolumeNumber(int32_t n);
    bool IsEqualTo(const TAvVolumeNumberInfo& other) const;
};

class TAvSpanningOptions {
public:
    bool AdvancedNaming = false;
    int64_t FirstVolumeSize = 0;
    TAvVolumeSize VolumeSize = vsAutoDetect;

    int64_t CustomVolumeSize() const { return customVolumeSize_; }
    void SetCustomVolumeSize(int64_t v) { customVolumeSize_ = v < 65536 ? 65536 : v; }
    // Byte limit of the volume; -1 when the medium's free space decides.
    int64_t GetVolumeSize(const TAvVolumeNumberInfo& volume) const;
    void Assign(const TAvSpanningOptions& o) { *this = o; }

private:
    int64_t customVolumeSize_ = 0;
};

TAvCompressionLevel LevelFromMode(int mode);
int ModeFromLevel(TAvCompressionLevel level);
// Bytes read and compressed at a time for an entry of this mode.
int32_t ChunkSizeForMode(int mode);

}  // namespace zip
