// A user's save area that a run as root makes and writes while the user, in a process of the
// user's own, swaps a folder on the way with a link to a folder of root's (renameat2 with
// RENAME_EXCHANGE, flat out): the chain home/.local/share/Game/sub/deeper (levels 0 to 5, the
// save area at level 3), and beside each folder of levels 1 to 4 a link NAME.swap to a folder
// of root's that holds a folder of root's named as the next level. A run that checks a path
// and then acts on it can be led into root's folder between the two and give it away, and a
// run that opens the save area again by its path writes into root's folder through the link.
// Settle() tells whether anything outside the save area changed owner or mode, or was made
// there (and puts it back). A case may also begin with a folder of the chain moved aside (the
// user tidying up, as `mv area area.old`, the chain then made afresh): the run must write where
// the path names, and Settle() tells whether anything was made in the folder moved aside.
// Needs root, and a plain user (Test_PlainUser) for the racer.
#pragma once

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/PropertySeed.h"

class ExchangeRace {
public:
    static constexpr int kLevels = 5;   // .local, share, Game, sub, deeper
    static constexpr int kArea = 3;     // the save area's level
    static constexpr int kSwappable = 4; // the levels that can be swapped: 1 to 4

    // Lays the chain out under base (a folder of root's that others may search).
    ExchangeRace(const std::string& base, TestUser user) : base_(base), user_(user)
    {
        shared_ = static_cast<Shared*>(mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
        if (shared_ == MAP_FAILED) {
            shared_ = nullptr;
            return;
        }
        new (shared_) Shared();
        mkdir(Level(0).c_str(), 0755);
        chown(Level(0).c_str(), user_.uid, user_.gid);
        for (int k = 1; k <= kSwappable; k++) {
            mkdir(Decoy(k).c_str(), 0755);
            mkdir((Decoy(k) + "/" + kNames[k + 1]).c_str(), 0755);
        }
        pid_ = fork();
        if (pid_ == 0) Race();
        // Until the racer is the user (or could not become it).
        for (int status = 0; pid_ > 0 && !shared_->started.load();) {
            if (waitpid(pid_, &status, WNOHANG) == pid_) pid_ = -1;
            sched_yield();
        }
    }
    ~ExchangeRace()
    {
        if (!shared_) return;
        shared_->stop.store(1);
        if (pid_ > 0) waitpid(pid_, nullptr, 0);
        munmap(shared_, sizeof(Shared));
    }
    ExchangeRace(const ExchangeRace&) = delete;
    ExchangeRace& operator=(const ExchangeRace&) = delete;

    // Whether the race runs: a run as root, and a racer that became the plain user.
    bool Running() const { return shared_ && pid_ > 0; }

    // Folder k of the chain (0: the home).
    std::string Level(int k) const
    {
        std::string p = base_ + "/home";
        for (int i = 1; i <= k; i++) p += std::string("/") + kNames[i];
        return p;
    }
    std::string Area() const { return Level(kArea); }
    std::string Decoy(int k) const { return base_ + "/decoy" + std::to_string(k); }
    // Where a folder of the chain moved aside lies (in the user's home).
    std::string Aside() const { return Level(0) + "/aside"; }

    // Folders 1 to missingFrom - 1 are the user's, the rest missing (missingFrom up to
    // kLevels + 1: all there); with moved (a level, 0 for none), that folder is first moved
    // aside with all below it, out of the chain. The racer then swaps folder swap (below
    // missingFrom) with its link, until Settle().
    void Prepare(int swap, int missingFrom, int moved = 0)
    {
        namespace fs = std::filesystem;
        std::error_code ec;
        fs::remove_all(Aside(), ec);
        aside_.clear();
        if (moved > 0 && rename(Level(moved).c_str(), Aside().c_str()) == 0) {
            aside_.push_back(Aside());
            for (auto it = fs::recursive_directory_iterator(Aside(), ec); !ec && it != fs::recursive_directory_iterator();
                 it.increment(ec))
                aside_.push_back(it->path().string());
        }
        if (missingFrom <= kLevels) fs::remove_all(Level(missingFrom), ec);
        for (int k = 1; k < missingFrom && k <= kLevels; k++) {
            mkdir(Level(k).c_str(), 0755);
            chown(Level(k).c_str(), user_.uid, user_.gid);
            chmod(Level(k).c_str(), 0755);
        }
        const std::string link = Level(swap) + ".swap";
        unlink(link.c_str());
        symlink(Decoy(swap).c_str(), link.c_str());
        lchown(link.c_str(), user_.uid, user_.gid);
        std::snprintf(shared_->from, sizeof shared_->from, "%s", Level(swap).c_str());
        std::snprintf(shared_->to, sizeof shared_->to, "%s", link.c_str());
        swapped_ = swap;
        shared_->pause.store(0);
        while (shared_->paused.load()) sched_yield();
    }

    // Stops the racer and puts the swapped folder back. The count of root's folders outside the
    // save area whose owner or mode changed (they are put back), of what the run made in them
    // (removed), and of folders on the way the run made that are not the user's.
    struct Damage {
        int given = 0;    // root's folders outside the save area, now another owner or mode
        int written = 0;  // files and folders the run made in root's folders
        int notUsers = 0; // folders of the user's chain that are not the user's
        int aside = 0;    // files and folders the run made in the folder moved aside
    };
    Damage Settle()
    {
        shared_->pause.store(1);
        while (!shared_->paused.load()) sched_yield();
        struct stat st;
        if (swapped_ > 0 && lstat(Level(swapped_).c_str(), &st) == 0 && S_ISLNK(st.st_mode))
            renameat2(AT_FDCWD, Level(swapped_).c_str(), AT_FDCWD, (Level(swapped_) + ".swap").c_str(), RENAME_EXCHANGE);
        Damage d;
        namespace fs = std::filesystem;
        std::error_code ec;
        for (int k = 1; k <= kSwappable; k++) {
            const std::string held = Decoy(k) + "/" + kNames[k + 1];
            for (const std::string& p : {Decoy(k), held}) {
                if (stat(p.c_str(), &st) != 0) continue;
                if (st.st_uid != 0 || st.st_gid != 0 || (st.st_mode & 07777) != 0755) {
                    d.given++;
                    chown(p.c_str(), 0, 0);
                    chmod(p.c_str(), 0755);
                }
            }
            // What the run made in root's folders (as root, through the user's link) goes.
            std::vector<fs::path> made;
            for (const std::string& folder : {Decoy(k), held})
                for (const auto& e : fs::directory_iterator(folder, ec))
                    if (e.path() != held) made.push_back(e.path());
            d.written += int(made.size());
            for (const fs::path& p : made) fs::remove_all(p, ec);
        }
        if (stat(base_.c_str(), &st) == 0 && (st.st_uid != 0 || (st.st_mode & 07777) != 0755)) {
            d.given++;
            chown(base_.c_str(), 0, 0);
            chmod(base_.c_str(), 0755);
        }
        for (int k = 0; k <= kLevels; k++)
            if (lstat(Level(k).c_str(), &st) == 0 && (st.st_uid != user_.uid || st.st_gid != user_.gid)) d.notUsers++;
        if (!aside_.empty())
            for (auto it = fs::recursive_directory_iterator(Aside(), ec); !ec && it != fs::recursive_directory_iterator();
                 it.increment(ec))
                d.aside += std::find(aside_.begin(), aside_.end(), it->path().string()) == aside_.end();
        return d;
    }
    long Swaps() const { return shared_ ? shared_->swaps.load() : 0; }

    // A random case: the level swapped and the first level missing. Half the cases are the
    // first one found: ~/.local swapped while share is missing.
    struct Case {
        int swap, missingFrom;
    };
    static Case Pick(std::mt19937& random)
    {
        if (random() % 2 == 0) return {1, 2};
        return PickAt(1 + int(random() % kSwappable), random);
    }
    // A random case of the level swapped: the first level missing below it, or none.
    static Case PickAt(int swap, std::mt19937& random) { return {swap, swap + 1 + int(random() % (kLevels + 1 - swap))}; }
    // The seed of the cases: ZB_PROPERTY_SEED, else fallback.
    static unsigned Seed(unsigned fallback) { return Property_Seed(fallback); }

private:
    static constexpr const char* kNames[] = {"home", ".local", "share", "Game", "sub", "deeper"};

    struct Shared {
        std::atomic<int> stop{0}, pause{1}, paused{0}, started{0};
        std::atomic<long> swaps{0};
        char from[4096] = {}, to[4096] = {};
    };

    // The racer: the plain user, swapping flat out while not paused.
    [[noreturn]] void Race()
    {
        if (!Test_BecomeUser(user_)) _exit(1);
        shared_->started.store(1);
        while (!shared_->stop.load()) {
            if (shared_->pause.load()) {
                shared_->paused.store(1);
                while (shared_->pause.load() && !shared_->stop.load()) sched_yield();
                shared_->paused.store(0);
                continue;
            }
            if (renameat2(AT_FDCWD, shared_->from, AT_FDCWD, shared_->to, RENAME_EXCHANGE) == 0) shared_->swaps++;
        }
        _exit(0);
    }

    std::string base_;
    TestUser user_;
    Shared* shared_ = nullptr;
    pid_t pid_ = -1;
    int swapped_ = 0;
    std::vector<std::string> aside_; // what the folder moved aside held when it was moved
};
