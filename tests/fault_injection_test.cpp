// Every place where the library asks for memory or for the transfer lock, made to fail in
// turn during a long random workload: the driver's AllocBlock at each of its call sites
// (hatch 821, pattern 860, MonoPattern 891, bitmap header 250, conversion row 2095),
// GlobalAlloc and GlobalLock of the platform, Aquire and Release of the lock, and the two
// small objects of a transfer from the ordinary heap. Each operation of the workload is
// self-contained (its brushes realized, used and released within it); whether the chosen
// fault fired is read from what the library asked for. A failure must give its documented
// answer, draw nothing it must not draw, and give back everything: the allocator's live
// blocks and the platform's live global blocks return to their baselines after every step,
// no pattern handle stays locked and no page is left writable and executable.
#include "common/bitmap.h"
#include "core/core_services.h"
#include "platform/platform.h"
#include "support/blit_scene.h"
#include "support/edition.h"
#include "support/global_blocks.h"
#include "support/heap_faults.h"
#include "support/test_band.h"
#include "support/transfer_probes.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace marltest {
namespace {

enum class Site {
    None,
    HatchLine,      // AllocBlock line 821
    PatternLine,    // AllocBlock line 860
    MonoLine,       // AllocBlock line 891
    HeaderLine,     // AllocBlock line 250
    ConversionLine, // AllocBlock line 2095
    NextAlloc,      // the next AllocBlock, whatever its line
    GlobalAllocCall,
    GlobalLockCall,
    AquireCall,
    ReleaseCall,
};

const char* SiteName(Site site) {
    static const char* const kNames[] = {
        "none",           "AllocBlock 821",  "AllocBlock 860",  "AllocBlock 891",
        "AllocBlock 250", "AllocBlock 2095", "next AllocBlock", "GlobalAlloc",
        "GlobalLock",     "Aquire",          "Release"};
    return kNames[static_cast<int>(site)];
}

constexpr int32_t kRefusal = -7; // what the failing allocator answers
constexpr uint32_t kRealized = marltest::kRealizedBrushBytes;

// The pointer fields of a realized brush, read out of the packed record: in the 64-bit
// edition they are not aligned to their size there, so no reference may bind to them.
const uint8_t* BitsOf(const RealizedBrush& brush) { return brush.Bits; }
const MonoPattern* MonoSourceOf(const RealizedBrush& brush) { return brush.MonoSource; }

uint32_t LineOf(Site site) {
    switch (site) {
    case Site::HatchLine: return 821;
    case Site::PatternLine: return 860;
    case Site::MonoLine: return 891;
    case Site::HeaderLine: return 250;
    case Site::ConversionLine: return 2095;
    default: return 0;
    }
}

CSFault FaultOf(Site site) {
    switch (site) {
    case Site::GlobalAllocCall: return CSFaultGlobalAlloc;
    case Site::GlobalLockCall: return CSFaultGlobalLock;
    case Site::AquireCall: return CSFaultAquire;
    default: return CSFaultRelease;
    }
}

bool ServiceSite(Site site) {
    return site == Site::GlobalAllocCall || site == Site::GlobalLockCall ||
           site == Site::AquireCall || site == Site::ReleaseCall;
}

// Arms one fault before a call and tells afterwards whether it fired. Allocator sites fail
// every call of their line (or the next call, whatever its line); a service fault is armed
// for its very next call and has fired when it is no longer pending.
class ArmedFault {
public:
    ArmedFault(Site site, CountingAllocator& allocator) : Where(site), Allocator(allocator) {
        Allocator.ClearLog();
        if (LineOf(site) != 0) Allocator.FailLine(LineOf(site), kRefusal);
        if (site == Site::NextAlloc) Allocator.FailAfter(0, kRefusal);
        if (ServiceSite(site)) CSInjectFault(FaultOf(site), 0);
    }
    ~ArmedFault() { Disarm(); }

    // Ends the fault and answers whether it fired.
    bool Disarm() {
        if (Done) return Fired;
        Done = true;
        if (LineOf(Where) != 0) {
            for (const AllocCall& call : Allocator.Calls())
                Fired |= call.Line == LineOf(Where);
        } else if (Where == Site::NextAlloc) {
            Fired = !Allocator.Calls().empty();
            Allocator.FailAfter(-1);
        } else if (ServiceSite(Where)) {
            // Still pending means it never fired; consuming it here switches it off.
            Fired = !CSFaultTriggered(FaultOf(Where));
            CSInjectFault(FaultOf(Where), -1);
        }
        return Fired;
    }

private:
    Site Where;
    CountingAllocator& Allocator;
    bool Done = false;
    bool Fired = false;
};

// A fresh allocator per step: a line fault stays on for the allocator's life.
struct Driver {
    CountingAllocator Allocator;
    RenderDevice Device{};
    Driver() { Device.Allocator = &Allocator; }
};

bool HandleUnlocked(HGLOBAL handle) {
    GlobalLock(handle);
    return GlobalUnlock(handle) == 0;
}

class FaultWorkload {
public:
    explicit FaultWorkload(uint32_t seed) : Random(seed) {}

    void Step();
    const std::map<Site, uint32_t>& Fired() const { return FiredCount; }
    uint32_t Steps() const { return StepCount; }

private:
    Site Pick(std::initializer_list<Site> sites) {
        std::vector<Site> all(sites);
        return all[Random() % all.size()];
    }
    void Record(Site site, bool fired) {
        if (fired && site != Site::None) ++FiredCount[site];
    }
    std::string Context(const char* step, Site site) const {
        return std::string(step) + ", step " + std::to_string(StepCount) + ", fault " +
               SiteName(site);
    }

    void RealizeHatch();
    void RealizePattern(bool throughHandle, bool mono);
    void CreateBitmap();
    void Transfer();
    void UseAndRelease(Driver& driver, RealizedBrush& brush, const std::string& context);

    std::mt19937 Random;
    std::map<Site, uint32_t> FiredCount;
    uint32_t StepCount = 0;
};

// A realized brush is drawn once, then released; nothing of it may remain.
void FaultWorkload::UseAndRelease(Driver& driver, RealizedBrush& brush,
                                  const std::string& context) {
    TestBand band(16, 4, 0x33);
    ScanSpan spans[2] = {{0, 0, 16, {}}, {3, 2, 9, {}}};
    RPFillScanRows(band.Device(), 0, 2, spans, &brush, 0, 0, 0xF0);
    EXPECT_EQ(RPRealizeBrush(&driver.Device, &brush, nullptr, 0, 0, 0, 0, 0), 0u) << context;
    EXPECT_EQ(driver.Allocator.Live(), 0u) << context;
    EXPECT_EQ(driver.Allocator.BadFrees(), 0u) << context;
}

void FaultWorkload::RealizeHatch() {
    static const std::array<std::pair<uint32_t, uint32_t>, 5> kFactors = {
        {{1, 1}, {2, 1}, {2, 2}, {4, 2}, {4, 4}}};
    const Site site = Pick({Site::None, Site::HatchLine, Site::NextAlloc, Site::PatternLine});
    const auto [xFactor, yFactor] = kFactors[Random() % kFactors.size()];
    Driver driver;
    LogicalBrush logical{2, static_cast<uint32_t>(Random()), static_cast<uint16_t>(Random() % 6)};
    RealizedBrush brush{};
    uint32_t result;
    bool fired;
    {
        ArmedFault fault(site, driver.Allocator);
        result = RPRealizeBrush(&driver.Device, &logical, &brush, 0, xFactor, yFactor, 0, 0);
        fired = fault.Disarm();
    }
    Record(site, fired);
    const std::string context = Context("hatched brush", site);
    if (fired) {
        EXPECT_EQ(result, 0u) << context;
        EXPECT_EQ(BitsOf(brush), nullptr) << context;
        EXPECT_EQ(driver.Allocator.Live(), 0u) << context;
    } else {
        EXPECT_EQ(result, kRealized) << context;
        EXPECT_NE(BitsOf(brush), nullptr) << context;
    }
    UseAndRelease(driver, brush, context);
}

// A pattern brush from a 1-bit or a three-plane 8-bit bitmap, given by its header's address
// or by a global-memory handle holding the header.
void FaultWorkload::RealizePattern(bool throughHandle, bool mono) {
    const Site site = throughHandle
                          ? Pick({Site::None, Site::PatternLine, Site::MonoLine, Site::NextAlloc,
                                  Site::GlobalLockCall})
                          : Pick({Site::None, Site::PatternLine, Site::MonoLine, Site::NextAlloc});
    Driver driver;
    SourceImage image(8, 8, mono ? 1 : 3, mono ? 1 : 8, Random(), mono ? 0 : 8);
    HGLOBAL handle = nullptr;
    LogicalBrush logical{3, marltest::AddressField(image.Header()), 0};
    if (throughHandle) {
        handle = GlobalAlloc(GMEM_MOVEABLE, sizeof(BitmapHeader));
        std::memcpy(GlobalLock(handle), image.Header(), sizeof(BitmapHeader));
        GlobalUnlock(handle);
        logical.Color = 0; // no header at the address: the handle is used
        logical.Hatch = static_cast<uint16_t>(HandleValue(handle));
    }
    RealizedBrush brush{};
    uint32_t result;
    bool fired;
    {
        ArmedFault fault(site, driver.Allocator);
        result = RPRealizeBrush(&driver.Device, &logical, &brush, 0, 1 + Random() % 2,
                                1 + Random() % 2, 0, 0x00FF00FF);
        fired = fault.Disarm();
    }
    // The MonoPattern is asked for only for 1-bit bitmaps, and only once the pattern was had.
    Record(site, fired);
    const std::string context =
        Context(mono ? "1-bit pattern brush" : "colour pattern brush", site);
    if (fired) {
        EXPECT_EQ(result, 0u) << context;
        EXPECT_EQ(BitsOf(brush), nullptr) << context;
        EXPECT_EQ(MonoSourceOf(brush), nullptr) << context;
        EXPECT_EQ(driver.Allocator.Live(), 0u) << context;
    } else {
        EXPECT_EQ(result, kRealized) << context;
        EXPECT_NE(BitsOf(brush), nullptr) << context;
        EXPECT_EQ(MonoSourceOf(brush) != nullptr, mono) << context;
    }
    if (handle != nullptr) {
        EXPECT_TRUE(HandleUnlocked(handle)) << context;
        GlobalFree(handle);
    }
    UseAndRelease(driver, brush, context);
}

// Create: the header from the allocator (line 250), the bits from GlobalAlloc, locked with
// GlobalLock; Free gives back what Create recorded.
void FaultWorkload::CreateBitmap() {
    const Site site = Pick({Site::None, Site::HeaderLine, Site::NextAlloc, Site::GlobalAllocCall,
                            Site::GlobalLockCall});
    Driver driver;
    PlaneBitmap bitmap{};
    int32_t result = 0;
    bool fired;
    {
        ArmedFault fault(site, driver.Allocator);
        marl::Create(bitmap, &driver.Allocator, 1 + Random() % 64, 1 + Random() % 16, 3, 8, 0,
                     &result, Random() & 0xFF, 1);
        fired = fault.Disarm();
    }
    Record(site, fired);
    const std::string context = Context("Create", site);
    if (!fired) {
        EXPECT_GE(result, 0) << context;
        EXPECT_NE(marl::RowPlane(bitmap, 2), nullptr) << context;
    } else if (site == Site::HeaderLine || site == Site::NextAlloc) {
        EXPECT_EQ(result, kRefusal) << context;
        EXPECT_EQ(bitmap.Header, nullptr) << context;
    } else {
        EXPECT_EQ(result, marl::kBitsRefused) << context;
    }
    if (site == Site::GlobalAllocCall && fired) {
        EXPECT_EQ(driver.Allocator.Live(), 0u) << context;
    }
    marl::Free(bitmap);
    EXPECT_EQ(driver.Allocator.Live(), 0u) << context;
    EXPECT_EQ(driver.Allocator.BadFrees(), 0u) << context;
}

// An 8-bit source (so a conversion row is needed) under a catalogue or generated code,
// once without a fault on one band and once with it on an identical band.
void FaultWorkload::Transfer() {
    const Site site = Pick(
        {Site::None, Site::ConversionLine, Site::NextAlloc, Site::AquireCall, Site::ReleaseCall});
    static const uint8_t kRops[] = {0xCC, 0x66, 0x88, 0xEE, 0xB8, 0x01, 0x7E, 0x99, 0xC0};
    const uint32_t seed = Random();
    SourceImage source(20, 5, 1, 8, seed);
    PaletteImage palette(256, seed + 1);
    TestBand clean(24, 6, 0x5A), faulted(24, 6, 0x5A);
    BlitScene scene;
    scene.X = static_cast<uint16_t>(Random() % 6);
    scene.Y = static_cast<uint16_t>(Random() % 3);
    scene.Width = static_cast<uint16_t>(1 + Random() % 20);
    scene.Height = static_cast<uint16_t>(1 + Random() % 5);
    scene.Source = source.Header();
    scene.Rop = kRops[Random() % std::size(kRops)];
    scene.Colors = PhysicalColours(0x00102030, 0x00F0E0D0);
    scene.Palette = palette.Data();
    ASSERT_EQ(CallBitBlt(RPBitBlt, clean, scene), 0u);
    uint32_t result;
    bool fired;
    {
        ArmedFault fault(site, faulted.Allocator());
        result = CallBitBlt(RPBitBlt, faulted, scene);
        fired = fault.Disarm();
    }
    Record(site, fired);
    const std::string context = Context("RPBitBlt", site);
    TestBand untouched(24, 6, 0x5A);
    const std::vector<uint8_t> before = BandBytes(untouched);
    if (!fired) {
        EXPECT_EQ(result, 0u) << context;
        EXPECT_EQ(BandBytes(faulted), BandBytes(clean)) << context;
    } else if (site == Site::ReleaseCall) {
        EXPECT_EQ(result, 1u) << context; // every row was drawn before the lock was let go
        EXPECT_EQ(BandBytes(faulted), BandBytes(clean)) << context;
    } else {
        EXPECT_EQ(result, 1u) << context;
        EXPECT_EQ(BandBytes(faulted), before) << context;
    }
    EXPECT_EQ(faulted.Allocator().Live(), 0u) << context;
    EXPECT_EQ(faulted.Allocator().BadFrees(), 0u) << context;
    // The lock was given back however the transfer ended: it can be had at once.
    CSMutex lock(L"RopMC24");
    EXPECT_EQ(lock.Aquire(), 0) << context;
    EXPECT_EQ(lock.Release(), 0) << context;
}

void FaultWorkload::Step() {
    ++StepCount;
    const uint32_t globalBlocks = LiveGlobalBlocks();
    switch (Random() % 6) {
    case 0: RealizeHatch(); break;
    case 1: RealizePattern(false, true); break;
    case 2: RealizePattern(kHandlesFitHatch && Random() % 2 == 0, Random() % 2 == 0); break;
    case 3: CreateBitmap(); break;
    default: Transfer(); break;
    }
    EXPECT_EQ(LiveGlobalBlocks(), globalBlocks) << "global memory left after step " << StepCount;
    EXPECT_EQ(WritableExecutableMappings(), "") << "after step " << StepCount;
}

TEST(FaultInjection, EverySiteFailsInTurnAndEachFailureGivesBackWhatItTook) {
    FaultWorkload workload(0x5EED0010);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (workload.Steps() < 4000 && std::chrono::steady_clock::now() < deadline &&
           !::testing::Test::HasFailure())
        workload.Step();
    std::string counts;
    for (const auto& [site, fired] : workload.Fired())
        counts += std::string(SiteName(site)) + ": " + std::to_string(fired) + "\n";
    std::printf("fault injection: %u steps\n%s", workload.Steps(), counts.c_str());
    for (Site site : {Site::HatchLine, Site::PatternLine, Site::MonoLine, Site::HeaderLine,
                      Site::ConversionLine, Site::NextAlloc, Site::GlobalAllocCall,
                      Site::GlobalLockCall, Site::AquireCall, Site::ReleaseCall})
        EXPECT_GT(workload.Fired().count(site), 0u) << SiteName(site) << " never failed";
}

} // namespace
} // namespace marltest
