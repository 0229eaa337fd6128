#pragma once
// The archiver component: one open zip archive at a time, listed with
// FindFirst/FindNext and changed in batches that a commit writes out.
// Event defaults that would show a dialog ask through the program's prompter.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "zip/avdirmgr.h"
#include "zip/avexcept.h"
#include "zip/avoptions.h"
#include "zip/avrecords.h"

namespace zip {

class TAvStream;
class TAvFileStream;

enum TAvAction { fxaRetry, fxaIgnore, fxaAbort };
enum TAvProgressPhase { ppStart, ppProcess, ppEnd };

// A commit that the user or a handler cancelled or aborted: the archive
// was rolled back, nothing of the batch is in it.
RTL_EXCEPTION_CLASS(EAvBatchAborted, rtl::Exception);

inline constexpr uint16_t kModeCreate = 0xFFFF, kModeReadWrite = 34, kModeReadOnly = 64;

struct TAvArchiveItem {
    std::string FileName, StoragePath;  // StoragePath "/" separated, with a trailing "/"
    int64_t CompressedSize = 0, UncompressedSize = 0;
    double CompressionRate = 0;
    bool Encrypted = false;
    uint16_t LastModFileDate = 0, LastModFileTime = 0;
    uint32_t CRC = 0, ExternalFileAttributes = 0;
    std::string Comment;
    // search state
    int32_t Index = 0;
    std::string SearchName, ExclusionMask;
    bool Wildcard = false, Simple = false;
    int32_t SearchAttr = 0;
};

class TAvBaseArchiver : public TAvNamed {
public:
    TAvBaseArchiver();
    virtual ~TAvBaseArchiver();
    TAvBaseArchiver(const TAvBaseArchiver&) = delete;
    TAvBaseArchiver& operator=(const TAvBaseArchiver&) = delete;

    // ---- properties
    TAvCompressionLevel CompressionLevel() const { return level_; }
    void SetCompressionLevel(TAvCompressionLevel l);
    int CompressionMode() const { return mode_; }
    void SetCompressionMode(int m);  // code 5 above 9
    std::string CurrentVersion() const { return "6.93 "; }
    const std::string& Password() const { return password_; }
    virtual void SetPassword(const std::string& v) { password_ = v; }
    std::string FileName, BaseDir, TempDir;
    TAvSpanningMode SpanningMode() const { return spanning_; }
    void SetSpanningMode(TAvSpanningMode m);
    TAvSpanningOptions SpanningOptions;
    TAvOptions Options;
    std::vector<std::string> FileMasks, ExclusionMasks, NoCompressionMasks;
    bool ExtractCorruptedFiles = false;
    TZip64Mode Zip64Mode = zmAuto;
    bool RepairMode = true;
    TAvCryptoAlgorithm EncryptionMethod = caPkzipClassic;

    // ---- events (unset: the defaults below)
    std::function<void(double, TAvProcessOperation, TAvProgressPhase, bool&)> OnOverallProgress;
    std::function<void(const std::string&, double, TAvProcessOperation, TAvProgressPhase, bool&)> OnFileProgress;
    std::function<void(const std::string&, std::string&, bool&)> OnConfirmOverwrite;
    std::function<void(const std::string&, TAvProcessOperation, bool&)> OnConfirmProcessFile;
    std::function<void()> AfterOpen;
    std::function<void(const std::string&, std::string&, bool&)> OnPassword;
    std::function<void(const std::string&, TAvProcessOperation, int, int, const std::string&, TAvAction&)>
        OnProcessFileFailure;
    std::function<void(int, const std::string&, bool&)> OnDiskFull;
    std::function<void(std::string&, uint32_t&, std::string&, const std::string&)> OnStoreFile;
    // The directory could not be read as it stands and was rebuilt from the
    // local headers (RepairMode): why, and the entries that could not be
    // recovered whole. Such an archive is listed, but test and extraction
    // fail unless ExtractCorruptedFiles asks for what can be had, and it
    // takes no batch: RepairArchive writes a sound copy.
    std::function<void(const std::string&, const std::vector<std::string>&)> OnArchiveDamaged;

    // ---- opening and closing
    void OpenArchive();
    void OpenArchive(uint16_t mode);
    // An archive on the caller's stream, which must outlive it: Create
    // empties the stream and writes an empty archive there, otherwise its
    // directory is read. Code 51 unless SpanningMode is smNone.
    void OpenArchive(TAvStream& stream, bool create);
    // An archive in memory, made by OpenArchive (any other mode: code 28).
    // Switched off while open, the archive is written to FileName (code 29
    // without a name) and reopened from there; switched on while open, the
    // archive is closed and a new, empty one opened in memory.
    bool InMemory() const { return inMemory_; }
    void SetInMemory(bool on);
    // Commits a pending batch (its errors are raised), then closes.
    void CloseArchive();
    bool Active() const { return stream_ != nullptr; }
    bool Exists() const;
    uint16_t OpenMode() const { return openMode_; }
    bool InUpdate() const { return updateCount_ > 0; }
    bool Encrypted() const;
    int64_t ArchiveSize() const;
    int32_t GetFileCount();
    std::string Comment() const;
    // Rewrites the directory at once unless a batch is open (code 13 when closed).
    void SetComment(const std::string& comment);
    void SetActive(bool active);
    // The entry stored under Name, else the first that a search for it finds.
    bool GetFileCendralDirItemNo(const std::string& name, int32_t& index);
    // The directory as it stands (committed entries after a batch).
    const TAvDirArray& Directory() const;
    // Whether the open archive's directory had to be rebuilt, why, and what was lost.
    bool DirectoryRebuilt() const { return dir_ && dir_->Rebuilt(); }
    const TAvDirDamage& Damage() const;

    // Whether the committed directory holds this disk file under this name
    // with the file's present size and CRC-32: what a caller checks before
    // it deletes a source.
    bool HoldsFile(const std::string& storedName, const std::string& path) const;

    // ---- batches
    void BeginUpdate();
    void EndUpdate();
    void CancelUpdate();

    // ---- search
    bool FindFirst(TAvArchiveItem& item);
    bool FindFirst(const std::string& mask, TAvArchiveItem& item, int32_t searchAttr,
                   const std::string& exclusionMask);
    bool FindNext(TAvArchiveItem& item);

    // ---- adding
    void AddFiles();
    void AddFiles(const std::string& mask, int32_t searchAttr, const std::string& exclusionMask);
    void AddFromString(const std::string& name, const std::string& text, uint32_t attr, time_t modified);
    void AddFromBuffer(const std::string& name, const void* buffer, int64_t count, uint32_t attr, time_t modified);
    // Count bytes from Position (all of it when Count is 0). With CopyToBuffer
    // they are copied now; otherwise the stream is read at the commit and
    // must live until then.
    void AddFromStream(const std::string& name, std::shared_ptr<TAvStream> stream, bool copyToBuffer,
                       int64_t position, int64_t count, uint32_t attr, time_t modified);

    // ---- extraction and testing (avextract.cpp) ---------------------------
    // The handler may change the name (relative to BaseDir, "/" separated)
    // and the attributes of the file to write.
    std::function<void(std::string&, uint32_t&, const std::string&)> OnExtractFile;
    // Entries the search finds, written below BaseDir (never outside it).
    // Each failure goes to OnProcessFileFailure; an abort or a cancel
    // raises EAvBatchAborted after the run.
    void ExtractFiles();
    void ExtractFiles(const std::string& mask, int32_t searchAttr, const std::string& exclusionMask);
    // The same, decoding and checking every entry without writing it.
    void TestFiles();
    void TestFiles(const std::string& mask, int32_t searchAttr, const std::string& exclusionMask);
    // One entry's data (code 15 when none is found; code 67 when no password
    // opens it).
    void ExtractToStream(const std::string& fileName, TAvStream& stream);
    void ExtractToBuffer(const std::string& fileName, void* buffer, int64_t count, int64_t offset);
    void ExtractToString(const std::string& fileName, std::string& text);
    // Whether the password opens the entry (code 42 when none is found); no
    // prompt, Password stays as it was.
    bool IsFilePasswordValid(const std::string& fileName, const std::string& password);
    // Whether FileName holds an archive whose entries read back intact.
    bool IsValidArchiveFile();
    // Count bytes of entry Index from Offset (the whole entry when Count is
    // 0) into Stream at its position.
    void ExtractItem(int32_t index, TAvStream& stream, int64_t offset, int64_t count);

protected:
    virtual void DoOnExtractFile(std::string& name, uint32_t& attr, const std::string& comment);

private:
    friend class TAvExtractRun;
    // ---- end of extraction and testing ------------------------------------

public:
    // ---- deleting, moving, updating, renaming, attributes, comments,
    // merging and repairing (avedit.cpp)
    // Code 31 with the mask when nothing matches; the archive is not touched.
    void DeleteFiles();
    void DeleteFiles(const std::string& mask, int32_t searchAttr, const std::string& exclusionMask);
    // A source is deleted only once the committed archive holds it (name,
    // size, CRC-32); a failed or cancelled commit keeps every source.
    void MoveFiles();
    void MoveFiles(const std::string& mask, int32_t searchAttr, const std::string& exclusionMask);
    void UpdateFiles();
    void UpdateFiles(const std::string& mask, int32_t searchAttr, const std::string& exclusionMask);
    void RenameFile(const std::string& oldName, const std::string& newName);
    void ChangeFilesAttr(const std::string& mask, uint32_t attr);
    void ChangeFilesIntAttr(const std::string& mask, uint16_t attr);
    void ChangeFilesComment(const std::string& mask, const std::string& comment);
    // Appends the entries of another archive; names present in both follow
    // Options.OverwriteMode.
    void MergeWith(const std::string& fileName);
    // Copies every intact entry of the archive FileName names, as it is
    // stored, into DestFileName (in place when empty: the damaged file is
    // kept beside it as "<name>.bak", "<name>.bak1" ...). Returns the names
    // of the entries that could not be saved.
    std::vector<std::string> RepairArchive(const std::string& destFileName);
    void DeleteItem(int32_t index);
    void UpdateItem(int32_t index, const std::string& fileName);
    // The bytes an entry takes in its archive from its local header on:
    // header, name, extra field, data and any data descriptor (code 57
    // when no local header is there).
    static int64_t StoredEntryLength(TAvStream& s, const TDirItem& it);

private:
    struct TAvMovedSource {
        std::string storedName, path;
        bool folder;
    };
    // Indices of the entries a search finds (no tags are touched: a batch
    // may hold tagged entries of its own).
    std::vector<int32_t> FindEntries(const std::vector<std::string>& masks, int32_t searchAttr,
                                     const std::string& exclusionMask, bool simple);
    void CheckDirectChange() const;
    void DeleteFound(const std::vector<int32_t>& found, const std::string& shownMask);
    void InternalMoveFiles(const std::vector<std::string>& masks, int32_t searchAttr,
                           const std::vector<std::string>& exclusions);
    void DeleteMovedSources(const std::vector<TAvMovedSource>& moved);
    void UpdateFound(const std::vector<int32_t>& found);
    void UpdateTaggedFile(int32_t index);
    void ChangeFound(const std::string& mask, int code, TAvProcessOperation op,
                     const std::function<void(TDirItem&)>& change);
    void FillDirItem(TDirItem& it, const std::string& path, std::shared_ptr<TAvStream> source, uint32_t dosTime,
                     int64_t size, uint32_t attributes, const std::string& comment, bool folder);
    std::vector<TAvMovedSource> moved_;  // moves waiting for the commit
    // ---- end of deleting ... repairing

public:
    // ==== volumes (spanning, splitting) and self-extracting stubs: avvolume.cpp
    // File name of the program put in front of a new archive, or by MakeSFX.
    std::string SFXStub;
    // Volume requests: the handler may change the volume's file name or cancel.
    std::function<void(int, std::string&, bool&)> OnRequestBlankVolume, OnRequestMiddleVolume;
    std::function<void(std::string&, bool&)> OnRequestFirstVolume, OnRequestLastVolume;
    std::function<void(double, TAvProgressPhase, bool&)> OnCopyTempFileProgress;
    // The name of volume VolumeIndex (0-based; -1 the last) of the archive
    // FileName. Written names are lower case; with CheckExists a volume
    // that exists in upper case (or under the other naming) is found too.
    void MakeDefaultVolumeName(std::string& name, int32_t volumeIndex, bool checkExists) const;
    static bool IsSFXArchive(const std::string& name);
    // Writes SFXStub followed by the archive to DestFileName, the entries'
    // offsets counting the stub; the result keeps the stub's permissions.
    void MakeSFX(const std::string& destFileName);
    // Appends Source to Dest; false on a short read or write.
    bool FastFileAppend(TAvStream& dest, TAvStream& source, const std::string& name);
    static int64_t GetFreeDriveSpace(const std::string& path);
    // The volume files of the open archive in order (one for a plain archive).
    std::vector<std::string> VolumeFiles() const;

protected:
    virtual void DoOnRequestBlankVolume(int volume, std::string& name, bool& cancel);
    virtual void DoOnRequestFirstVolume(std::string& name, bool& cancel);
    virtual void DoOnRequestLastVolume(std::string& name, bool& cancel);
    virtual void DoOnRequestMiddleVolume(int volume, std::string& name, bool& cancel);
    virtual void DoOnCopyTempFileProgress(double p, TAvProgressPhase ph, bool& cancel);

private:
    friend class TAvVolumeWriter;
    // Opens FileName for reading; a set of volumes is read through one view.
    void OpenVolumesForReading(bool write);
    // A new archive: the file itself, or a work file that the commit's
    // output is gathered in and then spread over volumes.
    void OpenVolumesForCreating();
    // The end record names the volume count; the mode follows from the
    // neighbouring files.
    void DetectSpanning(int32_t lastDisk);
    std::string RequestVolume(int32_t index, int32_t lastIndex);
    void AttachVolumeSet(const std::vector<std::string>& names);
    void MapVolumeOffsets();
    void WriteVolumes();
    void SpreadOverVolumes();
    // Code 62 after a batch on a set; a set made earlier becomes a work
    // file that the batch changes and that is then written as a new set.
    void CheckVolumeBatch();
    std::string NewWorkFile() const;
    std::vector<std::string> replacedVolumes_;
    int64_t keptVolumeSize_ = 0;
    void CopyStub(TAvStream& to);
    TAvVolumeNumberInfo volume_;
    std::string volumeWork_;
    std::vector<std::string> volumeFiles_;
    std::vector<int64_t> volumeStarts_;
    bool volumesWritten_ = false;
    // ==== end of volumes

protected:
    virtual void SetCompMethod() {}
    int compMethod_ = -1;
    bool dataEnabled_ = false;

    // Event dispatchers: the handler when bound, otherwise the default.
    virtual void DoOnOverallProgress(double p, TAvProcessOperation op, TAvProgressPhase ph, bool& cancel);
    virtual void DoOnFileProgress(const std::string& f, double p, TAvProcessOperation op, TAvProgressPhase ph,
                                  bool& cancel);
    virtual void DoOnConfirmOverwrite(const std::string& src, std::string& dest, bool& confirm);
    virtual void DoOnConfirmProcessFile(const std::string& f, TAvProcessOperation op, bool& confirm);
    virtual void DoOnPassword(const std::string& f, std::string& pw, bool& skip);
    virtual void DoOnProcessFileFailure(const std::string& f, TAvProcessOperation op, int native, int code,
                                        const std::string& msg, TAvAction& action);
    virtual void DoOnDiskFull(int volume, const std::string& name, bool& cancel);
    virtual void DoOnStoreFile(std::string& name, uint32_t& attr, std::string& comment, const std::string& orig);
    virtual void DoOnArchiveDamaged(const std::string& reason, const std::vector<std::string>& lost);

private:
    friend class TAvCommit;
    void CheckActive() const;
    // Code 48 with the damage, for a rebuilt directory (unless
    // ExtractCorruptedFiles, or Writing: never for a batch).
    void CheckWhole(bool writing) const;
    bool Search(TAvArchiveItem& item);
    bool MatchesEntry(const TDirItem& it, const TAvArchiveItem& s) const;
    void InternalAddFiles(const std::vector<std::string>& masks, int32_t searchAttr,
                          const std::vector<std::string>& exclusions);
    void AddWalk(const std::string& folder, const std::string& namePattern, bool recurse, int32_t searchAttr,
                 const std::vector<std::string>& exclusions);
    void AddFileInit(const std::string& path, int32_t attr, std::shared_ptr<TAvStream> source, uint32_t dosTime,
                     int64_t size);
    void ForceUpdate();
    void ReleaseStream();
    // Loads the open stream's directory (code 48 without an end record
    // unless RepairMode) and reports damage; the stream goes on failure.
    void ReadDirectory();

    TAvCompressionLevel level_ = clFastest;
    int mode_ = 1;
    std::string password_;
    TAvSpanningMode spanning_ = smNone;
    std::unique_ptr<TAvStream> stream_;
    std::unique_ptr<TAvDirManager> dir_;
    bool inMemory_ = false;
    // The archive is the file FileName (not memory or a caller's stream).
    bool onFile_ = false;
    uint16_t openMode_ = 0;
    int updateCount_ = 0;
    bool commentChanged_ = false;
    std::string workDir_;
};

class TArkivolt : public TAvBaseArchiver {
public:
    TArkivolt();
    ~TArkivolt() override;

protected:
    void SetCompMethod() override { compMethod_ = CompressionMode() == 0 ? 0 : 8; }
};

}  // namespace zip
