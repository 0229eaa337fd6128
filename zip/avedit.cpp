// Changes to entries already in the archive: deleting, moving, updating,
// renaming, attributes and comments; merging another archive in and
// repairing a damaged one into a new file. All of them edit the directory
// inside a batch and leave the writing to the commit.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>
#include <utility>

#include "zip/arkivolt.h"
#include "zip/avcrypt.h"
#include "zip/avextract.h"
#include "zip/avstream.h"
#include "zip/avzlib.h"

namespace zip {

namespace {

std::string JoinMasks(const std::vector<std::string>& masks) {
    std::string out;
    for (const auto& m : masks) out += (out.empty() ? "" : ", ") + m;
    return out;
}

std::string Slashed(std::string s) {
    std::replace(s.begin(), s.end(), '\\', '/');
    return s;
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat x {}, y {};
    return ::stat(a.c_str(), &x) == 0 && ::stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev && x.st_ino == y.st_ino;
}

bool StartsWithNoCase(const std::string& s, const std::string& prefix) {
    return s.size() >= prefix.size() && AvLowerCase(s.substr(0, prefix.size())) == AvLowerCase(prefix);
}

bool DecideOverwrite(TAvOverwriteMode mode, uint32_t incoming, uint32_t stored) {
    switch (mode) {
        case omAlways: return true;
        case omIfNewer: return incoming > stored;
        case omIfOlder: return incoming < stored;
        default: return false;
    }
}

// Whether an entry's stored bytes give back what its record promises;
// Why holds the reason when they do not. Entries that cannot be decoded
// here (encrypted ones, other methods) pass on their structure alone.
bool EntryIsIntact(TAvStream& s, const TDirItem& it, int64_t limit, std::string& why, const TAvNamed* owner) {
    try {
        TAvBaseArchiver::StoredEntryLength(s, it);
        if ((it.Flags & kFlagEncrypted) || (it.CompressionMethod != 0 && it.CompressionMethod != 8)) return true;
        auto dec = OpenEntryDecoder(s, it, limit, owner);
        std::vector<char> buf(static_cast<size_t>(std::clamp<int64_t>(it.USize(), 1, 1 << 20)));
        while (dec->Read(buf.data(), static_cast<int64_t>(buf.size())) > 0) {
        }
        dec->Finish();
        return true;
    } catch (const EAvException& e) {
        why = e.Message;
        return false;
    }
}

}  // namespace

// ------------------------------------------------------------ the search

std::vector<int32_t> TAvBaseArchiver::FindEntries(const std::vector<std::string>& masks, int32_t searchAttr,
                                                  const std::string& exclusionMask, bool simple) {
    std::set<int32_t> found;
    TAvArchiveItem item;
    if (simple) {
        for (bool hit = FindFirst(item); hit; hit = FindNext(item)) found.insert(item.Index);
    } else {
        for (const auto& m : masks)
            for (bool hit = FindFirst(m, item, searchAttr, exclusionMask); hit; hit = FindNext(item))
                found.insert(item.Index);
    }
    return {found.begin(), found.end()};
}

void TAvBaseArchiver::CheckDirectChange() const {
    CheckActive();
    // A set takes one batch per opening: once it is written, a change
    // outside the batch comes too late.
    if (spanning_ != smNone && !InUpdate() && volumesWritten_) throw EAvException(52, this);
}

// ------------------------------------------------------------- deleting

void TAvBaseArchiver::DeleteFiles() {
    CheckDirectChange();
    DeleteFound(FindEntries({}, Options.SearchAttr, "", true), JoinMasks(FileMasks));
}

void TAvBaseArchiver::DeleteFiles(const std::string& mask, int32_t searchAttr, const std::string& exclusionMask) {
    CheckDirectChange();
    DeleteFound(FindEntries({mask}, searchAttr, exclusionMask, false), mask);
}

void TAvBaseArchiver::DeleteFound(const std::vector<int32_t>& found, const std::string& shownMask) {
    // A name that is not there is the caller's mistake, not a silent success.
    if (found.empty()) throw EAvException(31, shownMask, this);
    BeginUpdate();
    try {
        // From the back, so the indices still ahead stay valid.
        for (auto i = found.rbegin(); i != found.rend(); ++i) {
            bool confirm = true;
            DoOnConfirmProcessFile(dir_->Items[*i].Name, poDelete, confirm);
            if (confirm) DeleteItem(*i);
        }
    } catch (...) {
        CancelUpdate();
        throw;
    }
    EndUpdate();
}

void TAvBaseArchiver::DeleteItem(int32_t index) {
    if (!Active() || index < 0 || index >= dir_->Items.Count()) throw EAvException(21, this);
    if (!InUpdate()) throw EAvException(22, this);
    dir_->Items.DeleteItem(index);
}

// --------------------------------------------------------------- moving

void TAvBaseArchiver::MoveFiles() {
    CheckDirectChange();
    std::vector<std::string> exclusions = ExclusionMasks;
    exclusions.push_back(ResolvePath(FileName, AvCurrentFolder()));
    InternalMoveFiles(FileMasks, Options.SearchAttr, exclusions);
}

void TAvBaseArchiver::MoveFiles(const std::string& mask, int32_t searchAttr, const std::string& exclusionMask) {
    CheckActive();
    std::vector<std::string> exclusions{ResolvePath(FileName, AvCurrentFolder())};
    if (!exclusionMask.empty()) exclusions.push_back(exclusionMask);
    InternalMoveFiles({mask}, searchAttr, exclusions);
}

void TAvBaseArchiver::InternalMoveFiles(const std::vector<std::string>& masks, int32_t searchAttr,
                                        const std::vector<std::string>& exclusions) {
    BeginUpdate();
    try {
        TAvDirArray& items = dir_->Items;
        std::vector<bool> taggedBefore;
        for (int32_t i = 0; i < items.Count(); ++i) taggedBefore.push_back(items[i].Tagged);
        InternalAddFiles(masks, searchAttr, exclusions);
        // What this walk tagged from disk files is what moves.
        for (int32_t i = 0; i < items.Count(); ++i) {
            TDirItem& it = items.GetItemPtr(i);
            if (!it.Tagged || it.SourceStream || it.SourceFileName.empty()) continue;
            if (i < static_cast<int32_t>(taggedBefore.size()) && taggedBefore[static_cast<size_t>(i)]) continue;
            it.Operation = poMove;
            moved_.push_back({it.Name, it.SourceFileName, it.IsFolder()});
        }
    } catch (...) {
        CancelUpdate();
        throw;
    }
    EndUpdate();
}

// Runs after a commit that went through. A file goes only when the archive
// as committed holds it with its present size and CRC-32; folders go when
// no file is left in them.
void TAvBaseArchiver::DeleteMovedSources(const std::vector<TAvMovedSource>& moved) {
    auto failure = [&](const std::string& path, int code, const std::string& why) {
        const EAvException e(code, path, this);
        TAvAction action = fxaIgnore;
        DoOnProcessFileFailure(path, poMove, code, e.ErrorCode, e.Message + " (" + why + ")", action);
        if (action == fxaAbort) throw e;
        return action == fxaRetry;
    };
    for (const auto& m : moved) {
        if (m.folder) continue;
        for (;;) {
            std::string why;
            if (!HoldsFile(m.storedName, m.path)) why = "the archive does not hold it as it is on disk";
            else if (::unlink(m.path.c_str()) == 0 || errno == ENOENT) break;
            else why = std::strerror(errno);
            if (!failure(m.path, 27, why)) break;
        }
    }
    std::vector<std::string> folders;
    for (const auto& m : moved)
        if (m.folder) folders.push_back(m.path);
    // Deepest first, so a parent sees its emptied children gone.
    std::sort(folders.begin(), folders.end(), [](const std::string& a, const std::string& b) { return a > b; });
    for (const auto& f : folders) {
        if (DelTreeIfNoFiles(f) || !AvDirectoryExists(f)) continue;
        std::error_code ec;
        if (std::filesystem::is_empty(f, ec) && !ec) failure(f, 60, std::strerror(errno));
    }
}

// ------------------------------------------------------------- updating

void TAvBaseArchiver::UpdateFiles() {
    CheckDirectChange();
    UpdateFound(FindEntries({}, Options.SearchAttr, "", true));
}

void TAvBaseArchiver::UpdateFiles(const std::string& mask, int32_t searchAttr, const std::string& exclusionMask) {
    CheckDirectChange();
    UpdateFound(FindEntries({mask}, searchAttr, exclusionMask, false));
}

void TAvBaseArchiver::UpdateFound(const std::vector<int32_t>& found) {
    BeginUpdate();
    try {
        for (int32_t i : found) UpdateTaggedFile(i);
    } catch (...) {
        CancelUpdate();
        throw;
    }
    EndUpdate();
}

void TAvBaseArchiver::UpdateTaggedFile(int32_t index) {
    const TDirItem& it = dir_->Items[index];
    if (it.IsFolder()) return;
    const std::string here = AvCurrentFolder();
    const std::string base = ResolvePath(BaseDir.empty() ? here : BaseDir, here);
    const std::string path = base + "/" + it.Name;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
    if (!Options.ReplaceReadOnly && (it.ExternalAttributes & faReadOnly)) return;
    bool update = false;
    if (Options.OverwriteMode == omPrompt) {
        std::string dest = it.Name;
        DoOnConfirmOverwrite(path, dest, update);
    } else {
        update = DecideOverwrite(Options.OverwriteMode, UnixToDos(st.st_mtime), it.DosDateTime());
    }
    if (!update) return;
    struct Restore {
        std::string& target;
        std::string value;
        ~Restore() { target = value; }
    } restore{workDir_, workDir_};
    workDir_ = base;
    UpdateItem(index, path);
}

void TAvBaseArchiver::UpdateItem(int32_t index, const std::string& fileName) {
    if (!Active() || index < 0 || index >= dir_->Items.Count()) throw EAvException(24, this);
    if (!InUpdate()) throw EAvException(25, this);
    struct stat st {};
    if (::stat(fileName.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) throw EAvException(33, fileName, this);
    TDirItem it = dir_->Items[index];
    it.Tagged = true;
    it.Operation = poUpdate;
    FillDirItem(it, fileName, nullptr, UnixToDos(st.st_mtime), st.st_size,
                static_cast<uint32_t>(std::max(AvFileGetAttr(fileName), 0)), it.Comment, false);
    dir_->Items.SetItem(index, it);
}

// ------------------------------------------------------------- renaming

void TAvBaseArchiver::RenameFile(const std::string& oldName, const std::string& newName) {
    CheckActive();
    const std::string from = Slashed(oldName), to = Slashed(newName);
    int32_t index = -1;
    if (from.empty() || !GetFileCendralDirItemNo(from, index)) throw EAvException(30, oldName, this);
    if (to.empty() || to == "/") throw EAvException(9, this);
    TAvDirArray& items = dir_->Items;
    const std::string current = items[index].Name;
    const bool folder = items[index].IsFolder();
    // Only the matched part of the name changes: the whole name, or its
    // last part when the search matched that.
    std::string renamed = to;
    std::string bare = current, fromBare = from;
    if (!bare.empty() && bare.back() == '/') bare.pop_back();
    if (!fromBare.empty() && fromBare.back() == '/') fromBare.pop_back();
    if (AvLowerCase(bare) != AvLowerCase(fromBare) && bare.size() > fromBare.size() &&
        AvLowerCase(bare.substr(bare.size() - fromBare.size())) == AvLowerCase(fromBare) &&
        bare[bare.size() - fromBare.size() - 1] == '/')
        renamed = bare.substr(0, bare.size() - fromBare.size()) + to;
    if (folder && renamed.back() != '/') renamed += '/';
    if (!folder && renamed.back() == '/') renamed.pop_back();

    // Every entry that changes, with its new name; none may land on a name
    // that stays.
    std::vector<std::pair<int32_t, std::string>> changes{{index, renamed}};
    if (folder)
        for (int32_t i = 0; i < items.Count(); ++i)
            if (i != index && StartsWithNoCase(items[i].Name, current))
                changes.emplace_back(i, renamed + items[i].Name.substr(current.size()));
    std::set<int32_t> changing;
    for (const auto& c : changes) changing.insert(c.first);
    for (const auto& c : changes) {
        int32_t other = -1;
        if (items.FileExists(c.second, other) && !changing.count(other))
            throw rtl::Exception("Cannot rename \"" + items[c.first].Name + "\" to \"" + c.second +
                                 "\": the archive holds an entry of that name");
    }
    BeginUpdate();
    try {
        for (const auto& c : changes) {
            TDirItem& it = items.GetItemPtr(c.first);
            const bool pendingRename = it.Tagged && it.Operation == poRename;
            if (!pendingRename) it.OldName = it.Name;
            // Names go through a free name so that two entries may swap.
            items.SetItemName(c.first, "\x01" + std::to_string(c.first));
            if (!it.Tagged || it.Operation == poChangeAttr || it.Operation == poChangeComment) {
                it.Tagged = true;
                it.Operation = poRename;
            }
        }
        for (const auto& c : changes) items.SetItemName(c.first, c.second);
    } catch (...) {
        CancelUpdate();
        throw;
    }
    EndUpdate();
}

// ---------------------------------------------- attributes and comments

void TAvBaseArchiver::ChangeFound(const std::string& mask, int code, TAvProcessOperation op,
                                  const std::function<void(TDirItem&)>& change) {
    CheckActive();
    const std::vector<int32_t> found = FindEntries({Slashed(mask)}, 10431, "", false);
    if (found.empty()) throw EAvException(code, mask, this);
    BeginUpdate();
    try {
        for (int32_t i : found) {
            TDirItem& it = dir_->Items.GetItemPtr(i);
            change(it);
            if (!it.Tagged) {
                it.Tagged = true;
                it.Operation = op;
            }
        }
    } catch (...) {
        CancelUpdate();
        throw;
    }
    EndUpdate();
}

void TAvBaseArchiver::ChangeFilesAttr(const std::string& mask, uint32_t attr) {
    ChangeFound(mask, 31, poChangeAttr,
                [attr](TDirItem& it) { it.ExternalAttributes = attr | (it.IsFolder() ? faDirectory : 0); });
}

void TAvBaseArchiver::ChangeFilesIntAttr(const std::string& mask, uint16_t attr) {
    ChangeFound(mask, 38, poChangeAttr, [attr](TDirItem& it) { it.InternalAttributes = attr; });
}

void TAvBaseArchiver::ChangeFilesComment(const std::string& mask, const std::string& comment) {
    ChangeFound(mask, 31, poChangeComment, [&comment](TDirItem& it) { it.Comment = comment.substr(0, 0xFFFF); });
}

// -------------------------------------------------------------- merging

void TAvBaseArchiver::MergeWith(const std::string& fileName) {
    CheckActive();
    if (InUpdate()) throw EAvException(26, this);
    auto other = std::make_shared<TAvFileStream>(fileName, TAvFileStream::ofRead);
    if (SameFile(fileName, FileName))
        throw rtl::Exception("Cannot merge \"" + fileName + "\" into itself");
    TAvDirManager theirs(other.get());
    theirs.LoadDir(false);  // what a damaged archive holds is not merged in
    BeginUpdate();
    try {
        TAvDirArray& items = dir_->Items;
        for (int32_t j = 0; j < theirs.Items.Count(); ++j) {
            TDirItem it = theirs.Items[j];
            int32_t at = -1;
            if (items.FileExists(it.Name, at)) {
                // Two entries of one name in the other archive: the first one stays.
                if (items[at].Tagged && items[at].Operation == poMerge) continue;
                bool take = false;
                if (Options.OverwriteMode == omPrompt) {
                    std::string dest = FileName + "/" + items[at].Name;
                    DoOnConfirmOverwrite(fileName + "/" + it.Name, dest, take);
                    if (!take) break;  // a refusal ends the merge here
                } else {
                    take = DecideOverwrite(Options.OverwriteMode, it.DosDateTime(), items[at].DosDateTime());
                }
                if (!take) continue;
            }
            it.Tagged = true;
            it.Operation = poMerge;
            it.SourceStream = other;
            it.SourcePosition = it.Offset();
            it.SourceFileName.clear();
            it.Password.clear();
            it.OldName.clear();
            try {
                it.ExpectedSize = StoredEntryLength(*other, it);
            } catch (const EAvException&) {
                it.ExpectedSize = it.CSize();  // the commit reports it
            }
            if (at >= 0) items.SetItem(at, it);
            else items.Append(it);
        }
    } catch (...) {
        CancelUpdate();
        throw;
    }
    EndUpdate();
}

// ------------------------------------------------------------ repairing

std::vector<std::string> TAvBaseArchiver::RepairArchive(const std::string& destFileName) {
    if (Active()) throw EAvException(37, this);
    if (FileName.empty() || FileName.back() == '/') throw EAvException(9, this);
    // Naming the damaged file itself is repairing in place: it is kept too.
    const bool inPlace = destFileName.empty() || SameFile(destFileName, FileName);
    const std::string target = destFileName.empty() ? FileName : destFileName;
    TAvTempBeside tempFile(target);
    const std::string& temp = tempFile.Path();
    if (temp.empty()) throw EAvException(36, target, this);
    std::vector<std::string> lost;
    {
        auto in = std::make_shared<TAvFileStream>(FileName, TAvFileStream::ofRead);
        TAvDirManager damaged(in.get());
        damaged.LoadDir(true);  // rebuilt from the local headers when the directory is gone

        TAvBaseArchiver out;
        out.Name = Name;
        out.Options.FlushBuffers = true;
        out.OnOverallProgress = [this](double p, TAvProcessOperation op, TAvProgressPhase ph, bool& c) {
            DoOnOverallProgress(p, op, ph, c);
        };
        out.OnFileProgress = [this](const std::string& f, double p, TAvProcessOperation op, TAvProgressPhase ph,
                                    bool& c) { DoOnFileProgress(f, p, op, ph, c); };
        out.OnProcessFileFailure = [this](const std::string& f, TAvProcessOperation op, int n, int c,
                                          const std::string& m, TAvAction& a) {
            DoOnProcessFileFailure(f, op, n, c, m, a);
        };
        out.FileName = temp;
        out.OpenArchive(kModeCreate);
        out.BeginUpdate();
        // What the rebuild could not recover, then every entry whose data fail.
        lost = damaged.Damage.Lost;
        std::vector<bool> keep(static_cast<size_t>(damaged.Items.Count()));
        for (int32_t i = 0; i < damaged.Items.Count(); ++i) {
            const TDirItem& it = damaged.Items[i];
            std::string why;
            if (!EntryIsIntact(*in, it, damaged.CentralDirOffset, why, this)) {
                lost.push_back(it.Name);
                TAvAction action = fxaIgnore;
                DoOnProcessFileFailure(it.Name, poTest, 8, AvErrorIndex(8), it.Name + ": " + why, action);
                if (action == fxaAbort) throw EAvBatchAborted("Repair aborted: " + it.Name + ": " + why);
                continue;
            }
            keep[static_cast<size_t>(i)] = true;
        }
        for (int32_t i = 0; i < damaged.Items.Count(); ++i) {
            if (!keep[static_cast<size_t>(i)]) continue;
            // Copied as stored: dates, method and encryption stay the entry's own.
            TDirItem it = damaged.Items[i];
            it.Tagged = true;
            it.Operation = poMerge;
            it.SourceStream = in;
            it.SourcePosition = it.Offset();
            it.ExpectedSize = StoredEntryLength(*in, it);
            out.dir_->Items.Append(it);
        }
        out.EndUpdate();
        out.CloseArchive();
        if (inPlace) {
            // The damaged file stays, under a free name beside the new one.
            std::string backup = FileName + ".bak";
            for (int n = 1; ::link(FileName.c_str(), backup.c_str()) != 0; ++n) {
                if (errno != EEXIST || n > 999) throw EAvException(36, backup, this);
                backup = FileName + ".bak" + std::to_string(n);
            }
        }
        if (rtl::TFileFailure why; !AvReplaceWith(temp, target, FileName, why))
            throw EAvException::Detailed(36, target, why.Text(), this);
        tempFile.Keep();
    }
    return lost;
}

}  // namespace zip
