// The POSIX named lock (cs_mutex_posix.cpp) where it differs from a kernel mutex: the
// shared-memory object it lives in, which another local user must not be able to plant or
// hold for us, several processes making it at once, and the holders that die.
#include "core/core_services.h"
#include "core/named_lock_posix.h"

#include "support/child_process.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// A lock name used by this process only, and removed afterwards.
class FreshName {
public:
    explicit FreshName(const char* what) {
        std::string name = std::string("MarlTest-") + what + "-" + std::to_string(getpid());
        Name.assign(name.begin(), name.end());
        Path = marlcore::NamedLockPath(Name.c_str(), marlcore::NamedLockDirectory(), geteuid());
        Remove();
    }
    ~FreshName() { Remove(); }
    FreshName(const FreshName&) = delete;
    FreshName& operator=(const FreshName&) = delete;

    const wchar_t* Wide() const { return Name.c_str(); }
    const std::string& LockPath() const { return Path; }

private:
    void Remove() {
        if (unlink(Path.c_str()) != 0) rmdir(Path.c_str());
    }
    std::wstring Name;
    std::string Path;
};

// Aquire on an object of its own in another thread (constructed there too), released at once
// when it succeeds. The future answers Aquire's result.
std::future<int32_t> AquireElsewhere(const wchar_t* name) {
    auto promise = std::make_shared<std::promise<int32_t>>();
    std::future<int32_t> answer = promise->get_future();
    std::wstring copy = name;
    std::thread([copy, promise] {
        CSMutex lock(copy.c_str());
        int32_t result = lock.Aquire();
        if (result == 0) lock.Release();
        promise->set_value(result);
    }).detach();
    return answer;
}

struct Plant {
    const char* What;
    std::function<bool(const FreshName&)> Make; // false: could not be planted here
};

bool WriteFile(const std::string& path, mode_t mode, size_t size) {
    int handle = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, mode);
    if (handle < 0) return false;
    bool made = fchmod(handle, mode) == 0 && ftruncate(handle, static_cast<off_t>(size)) == 0;
    close(handle);
    return made;
}

constexpr size_t kObjectSize = sizeof(marlcore::NamedLockObject);

std::vector<Plant> Plants() {
    return {
        {"a FIFO", [](const FreshName& n) { return mkfifo(n.LockPath().c_str(), 0600) == 0; }},
        {"a FIFO anyone may open",
         [](const FreshName& n) {
             return mkfifo(n.LockPath().c_str(), 0666) == 0 &&
                    chmod(n.LockPath().c_str(), 0666) == 0;
         }},
        {"a dangling link",
         [](const FreshName& n) {
             return symlink("/nonexistent/marl-lock", n.LockPath().c_str()) == 0;
         }},
        {"a link to a usable lock",
         [](const FreshName& n) {
             static FreshName target("LinkTarget");
             CSMutex made(target.Wide());
             return symlink(target.LockPath().c_str(), n.LockPath().c_str()) == 0;
         }},
        {"a directory", [](const FreshName& n) { return mkdir(n.LockPath().c_str(), 0700) == 0; }},
        {"a file anyone may write",
         [](const FreshName& n) { return WriteFile(n.LockPath(), 0666, kObjectSize); }},
        {"a file others may read",
         [](const FreshName& n) { return WriteFile(n.LockPath(), 0640, kObjectSize); }},
        {"a file too small", [](const FreshName& n) { return WriteFile(n.LockPath(), 0600, 4); }},
        {"a file too large",
         [](const FreshName& n) { return WriteFile(n.LockPath(), 0600, 4096); }},
        {"a file of the right size that holds no lock",
         [](const FreshName& n) { return WriteFile(n.LockPath(), 0600, kObjectSize); }},
        {"a file of another user",
         [](const FreshName& n) {
             if (geteuid() != 0) return false; // only root can give a file away
             return WriteFile(n.LockPath(), 0600, kObjectSize) &&
                    chown(n.LockPath().c_str(), 65534, 65534) == 0;
         }},
    };
}

TEST(NamedLockObject, PlantedObjectsAreRefusedWithoutWaiting) {
    for (const Plant& plant : Plants()) {
        FreshName name("Planted");
        if (!plant.Make(name)) {
            std::printf("not planted here: %s\n", plant.What);
            continue;
        }
        std::future<int32_t> answer = AquireElsewhere(name.Wide());
        ASSERT_EQ(answer.wait_for(10s), std::future_status::ready) << plant.What;
        EXPECT_NE(answer.get(), 0) << plant.What;
    }
}

TEST(NamedLockObject, ObjectIsTheUsersAlone) {
    FreshName name("Owner");
    CSMutex lock(name.Wide());
    ASSERT_EQ(lock.Aquire(), 0);
    struct stat status {};
    ASSERT_EQ(lstat(name.LockPath().c_str(), &status), 0);
    EXPECT_TRUE(S_ISREG(status.st_mode));
    EXPECT_EQ(status.st_mode & 07777, 0600u);
    EXPECT_EQ(status.st_uid, geteuid());
    EXPECT_EQ(static_cast<size_t>(status.st_size), kObjectSize);
    EXPECT_NE(name.LockPath().find("-u" + std::to_string(geteuid()) + "-"), std::string::npos);
    EXPECT_EQ(lock.Release(), 0);
}

// The lock of a name removed while this process keeps it mapped is still the one this
// process uses: objects of the name refer to the mapping, not to the file.
TEST(NamedLockObject, MappedOnceAndKept) {
    FreshName name("Kept");
    CSMutex first(name.Wide());
    ASSERT_EQ(first.Aquire(), 0);
    ASSERT_EQ(unlink(name.LockPath().c_str()), 0);
    std::future<int32_t> other = AquireElsewhere(name.Wide());
    EXPECT_EQ(other.wait_for(200ms), std::future_status::timeout) << "still the same lock";
    EXPECT_EQ(first.Release(), 0);
    ASSERT_EQ(other.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(other.get(), 0);
}

TEST(NamedLockObject, SecondObjectInTheHoldingThreadAnswersInsteadOfWaiting) {
    FreshName name("SameThread");
    CSMutex first(name.Wide()), second(name.Wide());
    ASSERT_EQ(first.Aquire(), 0);
    EXPECT_NE(second.Aquire(), 0);
    EXPECT_NE(second.Release(), 0);
    EXPECT_EQ(first.Release(), 0);
    EXPECT_EQ(second.Aquire(), 0);
    EXPECT_EQ(second.Release(), 0);
}

// Several processes making the object of a new name at once, each then entering a section
// guarded by it: one object, no leftovers, and never two inside.
struct RaceState {
    std::atomic<pid_t> Racers[8];
    std::atomic<int> Go;
    std::atomic<int> Inside;
    std::atomic<int> MostInside;
    volatile int Counter;
    wchar_t Name[64];
};

RaceState* Race() {
    return static_cast<RaceState*>(marltest::SharedBlock("named-lock-race", sizeof(RaceState)));
}

constexpr int kRaceRounds = 200;

int EnterRace() {
    RaceState& race = *Race();
    for (auto& racer : race.Racers) {
        pid_t none = 0;
        if (racer.compare_exchange_strong(none, getpid())) break;
    }
    while (race.Go.load() == 0) {
    }
    for (int round = 0; round < kRaceRounds; ++round) {
        CSMutex lock(race.Name);
        if (lock.Aquire() != 0) return 1;
        int inside = ++race.Inside;
        int most = race.MostInside.load();
        while (inside > most && !race.MostInside.compare_exchange_weak(most, inside)) {
        }
        int value = race.Counter;
        if (round % 16 == 0) std::this_thread::yield();
        race.Counter = value + 1;
        --race.Inside;
        if (lock.Release() != 0) return 1;
    }
    return 0;
}

MARLTEST_CHILD_ROLE(EnterTheRace) { return EnterRace(); }

TEST(NamedLockObject, ProcessesMakingItAtOnceShareOne) {
    FreshName name("Race");
    RaceState* race = Race();
    ASSERT_NE(race, nullptr);
    for (auto& racer : race->Racers)
        racer = 0;
    race->Go = 0;
    race->Inside = 0;
    race->MostInside = 0;
    race->Counter = 0;
    std::wcsncpy(race->Name, name.Wide(), 63);
    constexpr int kChildren = 4;
    std::vector<std::unique_ptr<marltest::ChildProcess>> children;
    for (int c = 0; c < kChildren; ++c) {
        children.push_back(std::make_unique<marltest::ChildProcess>("EnterTheRace"));
        ASSERT_TRUE(children.back()->Started());
    }
    race->Go = 1;
    for (auto& child : children)
        EXPECT_EQ(child->Wait(), 0);
    EXPECT_EQ(race->MostInside.load(), 1);
    EXPECT_EQ(race->Counter, kChildren * kRaceRounds);
    // The object is there, and no racer left a temporary object of its own behind.
    struct stat status {};
    EXPECT_EQ(lstat(name.LockPath().c_str(), &status), 0);
    std::string directory = marlcore::NamedLockDirectory();
    int leftovers = 0, racers = 0;
    for (auto& racer : race->Racers) {
        if (racer == 0) continue;
        ++racers;
        std::string temporary = ".marlcore-new-" + std::to_string(racer) + "-";
        DIR* listing = opendir(directory.c_str());
        ASSERT_NE(listing, nullptr);
        while (dirent* entry = readdir(listing))
            if (std::strncmp(entry->d_name, temporary.c_str(), temporary.size()) == 0) ++leftovers;
        closedir(listing);
    }
    EXPECT_EQ(racers, kChildren);
    EXPECT_EQ(leftovers, 0);
}

// 'y' once the holder holds the lock; the pid of its forked child.
struct HolderReport {
    std::atomic<char> State;
    std::atomic<pid_t> Forked;
    std::atomic<int> Released;
    wchar_t Name[64];
};

HolderReport* Holder() {
    return static_cast<HolderReport*>(
        marltest::SharedBlock("named-lock-holder", sizeof(HolderReport)));
}

// Takes the lock, forks a child that lives on and tries to give it up, and waits to be killed.
MARLTEST_CHILD_ROLE(HoldForkAndWait) {
    HolderReport& report = *Holder();
    CSMutex lock(report.Name);
    if (lock.Aquire() != 0) {
        report.State = 'n';
        return 1;
    }
    pid_t forked = fork();
    if (forked == 0) {
        // The fork's copy of the holding object cannot give up its parent's lock.
        report.Released = lock.Release() == 0 ? 1 : 2;
        for (;;)
            pause();
    }
    report.Forked = forked;
    report.State = 'y';
    for (;;)
        pause();
}

TEST(NamedLockObject, AForkOfAKilledHolderDoesNotKeepTheLock) {
    FreshName name("Forked");
    HolderReport* report = Holder();
    ASSERT_NE(report, nullptr);
    report->State = 0;
    report->Forked = 0;
    report->Released = 0;
    std::wcsncpy(report->Name, name.Wide(), 63);
    marltest::ChildProcess holder("HoldForkAndWait");
    ASSERT_TRUE(holder.Started());
    for (int wait = 0; wait < 1000 && (report->State == 0 || report->Released == 0); ++wait)
        std::this_thread::sleep_for(10ms);
    ASSERT_EQ(report->State.load(), 'y');
    struct EndTheFork {
        pid_t Id;
        ~EndTheFork() { kill(Id, SIGKILL); }
    } endTheFork{report->Forked.load()};
    EXPECT_EQ(report->Released.load(), 2);
    std::future<int32_t> waiter = AquireElsewhere(name.Wide());
    EXPECT_EQ(waiter.wait_for(300ms), std::future_status::timeout) << "the holder has it";
    holder.Kill();
    // The fork lives on; the lock is the waiter's all the same.
    ASSERT_EQ(waiter.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(kill(report->Forked.load(), 0), 0) << "the fork is still there";
    EXPECT_EQ(waiter.get(), 0);
}

// A holder that ends without giving the lock up, while nobody waits: the next Aquire has it.
TEST(NamedLockObject, AHolderThatExitedHoldingHandsItOn) {
    FreshName name("Exited");
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto* lock = new CSMutex(name.Wide()); // never destroyed: the lock stays held
        _exit(lock->Aquire() == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::future<int32_t> next = AquireElsewhere(name.Wide());
    ASSERT_EQ(next.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(next.get(), 0);
    // And from then on it is an ordinary lock again.
    CSMutex lock(name.Wide());
    EXPECT_EQ(lock.Aquire(), 0);
    EXPECT_EQ(lock.Release(), 0);
}

} // namespace
