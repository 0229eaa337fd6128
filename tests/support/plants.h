#pragma once
// What a hostile neighbour plants where the program writes or reads a file:
// a dangling link, a live link to a victim, a pipe nobody opens. Each
// layer's file tests try their writers and readers on every plant and check
// that nothing was written through it, nothing made where a link pointed,
// and that a pipe never held a call up.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

enum class TPlant { dangling, live, pipe };
inline constexpr TPlant kPlants[] = {TPlant::dangling, TPlant::live, TPlant::pipe};

inline const char* PlantName(TPlant p) {
    return p == TPlant::dangling ? "dangling link" : p == TPlant::live ? "live link" : "pipe";
}

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

// The permission bits of Path (links followed); 0 when it is not there.
inline unsigned ModeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// Sets the umask while it lives.
class TUmaskScope {
public:
    explicit TUmaskScope(mode_t mask) : old_(::umask(mask)) {}
    ~TUmaskScope() { ::umask(old_); }
    TUmaskScope(const TUmaskScope&) = delete;
    TUmaskScope& operator=(const TUmaskScope&) = delete;

private:
    mode_t old_;
};

// A private folder where the program's files go ("in/"), and one beside it
// that the plants point into ("out/"): the victim, readable by all, holds
// Victim; a dangling link names "out/made", which must never appear.
class TPlantBed {
public:
    explicit TPlantBed(std::string victim = "victim") : victim_(std::move(victim)) {
        std::string tmpl = (std::filesystem::temp_directory_path() / "plants.XXXXXX").string();
        if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
        root_ = tmpl + "/";
        std::filesystem::create_directory(root_ + "in");
        std::filesystem::create_directory(root_ + "out");
    }
    ~TPlantBed() {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    TPlantBed(const TPlantBed&) = delete;
    TPlantBed& operator=(const TPlantBed&) = delete;

    std::string In(const std::string& leaf) const { return root_ + "in/" + leaf; }
    std::string Out(const std::string& leaf) const { return root_ + "out/" + leaf; }

    // Plants Kind at in/Leaf, with a fresh victim; gives the path.
    std::string Plant(TPlant kind, const std::string& leaf) {
        Clear();
        WriteBytes(Out("victim"), victim_);
        ::chmod(Out("victim").c_str(), 0644);
        const std::string path = In(leaf);
        const int rc = kind == TPlant::pipe       ? ::mkfifo(path.c_str(), 0600)
                       : kind == TPlant::dangling ? ::symlink(Out("made").c_str(), path.c_str())
                                                  : ::symlink(Out("victim").c_str(), path.c_str());
        if (rc != 0) throw std::runtime_error("cannot plant at " + path);
        leaf_ = leaf;
        return path;
    }

    // What the program says when it will not write at Path.
    std::string WriteRefusal(TPlant kind, const std::string& path) const {
        if (kind == TPlant::pipe) return PipeRefusal(path);
        const std::string to = Out(kind == TPlant::dangling ? "made" : "victim");
        return path + " is a link (to " + to + "); the program does not write through links";
    }
    static std::string PipeRefusal(const std::string& path) { return path + " is a pipe, not a regular file"; }

    // Whether the plant is as it was planted: still in place and alone in
    // in/, nothing made where the dangling link points, the victim's bytes
    // and mode unchanged.
    ::testing::AssertionResult Untouched(TPlant kind) const {
        struct stat st {};
        if (::lstat(In(leaf_).c_str(), &st) != 0) return ::testing::AssertionFailure() << "the plant is gone";
        if (kind == TPlant::pipe ? !S_ISFIFO(st.st_mode) : !S_ISLNK(st.st_mode))
            return ::testing::AssertionFailure() << "the plant was replaced";
        if (::lstat(Out("made").c_str(), &st) == 0)
            return ::testing::AssertionFailure() << "a file was made where the link points";
        if (ReadBytes(Out("victim")) != victim_ || ModeOf(Out("victim")) != 0644)
            return ::testing::AssertionFailure() << "the victim was changed";
        for (const auto& e : std::filesystem::directory_iterator(root_ + "in"))
            if (e.path().filename() != leaf_) return ::testing::AssertionFailure() << "left behind: " << e.path();
        return ::testing::AssertionSuccess();
    }

    // Empties both folders.
    void Clear() {
        for (const char* folder : {"in", "out"})
            for (const auto& e : std::filesystem::directory_iterator(root_ + folder)) std::filesystem::remove(e.path());
    }

private:
    std::string root_;
    std::string victim_;
    std::string leaf_;
};

// Lets a call blocked on the pipe at Path go after a second (opening the
// pipe both ways lets a blocked open through, and closing it ends a blocked
// read), so that a test fails instead of hanging; Blocked tells whether it
// had to.
class TPipeWatch {
public:
    explicit TPipeWatch(std::string path)
        : path_(std::move(path)), watcher_([this] {
              std::unique_lock<std::mutex> lock(m_);
              if (cv_.wait_for(lock, std::chrono::seconds(1), [this] { return done_; })) return;
              blocked_ = true;
              const int fd = ::open(path_.c_str(), O_RDWR | O_NONBLOCK);
              if (fd >= 0) ::close(fd);
          }) {}
    ~TPipeWatch() { Blocked(); }
    TPipeWatch(const TPipeWatch&) = delete;
    TPipeWatch& operator=(const TPipeWatch&) = delete;

    bool Blocked() {
        {
            std::lock_guard<std::mutex> lock(m_);
            done_ = true;
        }
        cv_.notify_all();
        if (watcher_.joinable()) watcher_.join();
        return blocked_;
    }

private:
    std::string path_;
    std::mutex m_;
    std::condition_variable cv_;
    bool done_ = false;
    bool blocked_ = false;
    std::thread watcher_;
};

// The message of the exception Fn raises, of class E; "" when it raises none.
template <typename E, typename Fn>
std::string FailureOf(Fn fn) {
    try {
        fn();
    } catch (const E& e) {
        return e.what();
    }
    return "";
}

// One way the program uses a file: Use raises what the program says when it
// fails; Failure is what it says for a reason; Missing, for a reader that
// tells a missing file otherwise, what it says then.
struct TFileUse {
    const char* what;
    std::function<void(const std::string& path)> use;
    std::function<std::string(const std::string& path, const std::string& reason)> failure;
    std::function<std::string(const std::string& path)> missing = nullptr;
};

// Tries every use on every plant at in/Leaf: none is held up by the pipe,
// each fails as Expected says (nothing when it says ""), and the plant is
// left as it was.
inline void TryOnPlants(TPlantBed& bed, const std::vector<TFileUse>& uses, const std::string& leaf,
                        const std::function<std::string(const TFileUse&, TPlant, const std::string&)>& expected) {
    for (const TFileUse& u : uses) {
        for (const TPlant kind : kPlants) {
            SCOPED_TRACE(std::string(u.what) + ", " + PlantName(kind));
            const std::string path = bed.Plant(kind, leaf);
            TPipeWatch watch(path);
            const std::string message = FailureOf<std::exception>([&] { u.use(path); });
            EXPECT_FALSE(watch.Blocked());
            EXPECT_EQ(message, expected(u, kind, path));
            EXPECT_TRUE(bed.Untouched(kind));
        }
    }
}

// Every writer refuses each plant with its failure for the refusal.
inline void ExpectNoWritesThroughPlants(TPlantBed& bed, const std::vector<TFileUse>& writers,
                                        const std::string& leaf = "target") {
    TryOnPlants(bed, writers, leaf, [&bed](const TFileUse& w, TPlant kind, const std::string& path) {
        return w.failure(path, bed.WriteRefusal(kind, path));
    });
}

// Every reader reads the victim through a live link (the user may keep a
// file elsewhere), fails on a dangling one as on a missing file, and refuses
// a pipe at once.
inline void ExpectReadsOfRegularFilesOnly(TPlantBed& bed, const std::vector<TFileUse>& readers,
                                          const std::string& leaf = "source") {
    TryOnPlants(bed, readers, leaf, [](const TFileUse& r, TPlant kind, const std::string& path) {
        if (kind == TPlant::live) return std::string();
        if (kind == TPlant::pipe) return r.failure(path, TPlantBed::PipeRefusal(path));
        return r.missing ? r.missing(path) : r.failure(path, "No such file or directory");
    });
}

// A file written under the usual umask 022: Before is the mode of a file
// already there (-1: none), After the mode it must have then, Starts how
// its bytes must begin.
struct TModeCase {
    const char* what;
    int before;
    std::function<void(const std::string& path)> write;
    unsigned after;
    std::string starts;
};

inline void ExpectModes(TPlantBed& bed, const std::vector<TModeCase>& cases) {
    const TUmaskScope umask(022);
    for (const TModeCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string name = bed.In("file");
        bed.Clear();
        if (c.before >= 0) {
            WriteBytes(name, "old");
            ::chmod(name.c_str(), static_cast<mode_t>(c.before));
        }
        c.write(name);
        EXPECT_EQ(ModeOf(name), c.after);
        EXPECT_EQ(ReadBytes(name).substr(0, c.starts.size()), c.starts);
    }
}

}  // namespace testsupport
