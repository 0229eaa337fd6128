#include "zip/avoptions.h"

namespace zip {

void TAvVolumeNumberInfo::SetFirstVolume(bool v) {
    if (!v) return;
    VolumeNumber = 0;
    VolumeKind = vnkFirst;
}

bool TAvVolumeNumberInfo::GetLastVolume() const {
    return LastVolumeNumber == -1 ? VolumeKind == vnkLast : VolumeNumber == LastVolumeNumber;
}

void TAvVolumeNumberInfo::SetLastVolume(bool v) {
    if (!v) return;
    VolumeNumber = LastVolumeNumber;
    VolumeKind = vnkLast;
}

void TAvVolumeNumberInfo::SetVolumeNumber(int32_t n) {
    VolumeKind = vnkCustom;
    VolumeNumber = n;
}

bool TAvVolumeNumberInfo::IsEqualTo(const TAvVolumeNumberInfo& o) const {
    if (GetLastVolume()) return o.GetLastVolume();
    if (GetFirstVolume()) return o.GetFirstVolume();
    if (VolumeNumber < 0) return VolumeKind == o.VolumeKind;
    return VolumeNumber == o.VolumeNumber;
}

int64_t TAvSpanningOptions::GetVolumeSize(const TAvVolumeNumberInfo& volume) const {
    if (volume.GetFirstVolume() && FirstVolumeSize > 0) return FirstVolumeSize;
    switch (VolumeSize) {
        case vsAutoDetect: return -1;
        case vsCustom: return customVolumeSize_;
        case vs1_44MB: return 1457664;
        case vs100MB: return 104857600;
        case vs200MB: return 209715200;
        case vs250MB: return 262144000;
        case vs600MB: return 629145600;
        case vs650MB: return 681574400;
        case vs700MB: return 734003200;
        case vs4700MB: return 4928307200LL;
    }
    return -1;
}

TAvCompressionLevel LevelFromMode(int mode) {
    if (mode <= 0) return clNone;
    if (mode <= 3) return clFastest;
    if (mode <= 6) return clNormal;
    return clMax;
}

int ModeFromLevel(TAvCompressionLevel level) {
    static constexpr int kModes[] = {0, 1, 6, 9};
    return kModes[level];
}

int32_t ChunkSizeForMode(int mode) {
    if (mode >= 1 && mode <= 3) return 0x80000;
    if (mode >= 7 && mode <= 9) return 0x180000;
    return 0x100000;
}

}  // namespace zip
