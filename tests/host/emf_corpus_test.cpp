#if defined(MARL_HOST_TESTS)
// Metafiles through the marlrend-host executable: every file of the shared corpus (when the
// clone sits beside it) renders with exit 0 into a picture of the frame's size that is not
// blank, every damaged file is refused with a message naming what is wrong and leaves no
// picture; and small metafiles made here play into the operations worked out by hand.
#include "host/emf_player.h"
#include "host/emf_reader.h"
#include "host/gdi_state.h"
#include "host/host_error.h"
#include "host/host_fixtures.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <stb/stb_image.h>

#include <algorithm>
#include <cstring>

namespace {

using namespace marlhosttest;

const std::string kCorpus = MARLHOST_SHARED_EMF;

std::vector<std::string> FilesIn(const std::string& directory) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(directory.c_str())) {
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".emf") == 0)
                names.push_back(name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Files with drawing records: EMF+-only files hold nothing a GDI player draws.
bool DrawsAnything(const marlhost::EmfFile& file) {
    for (const marlhost::EmfRecord& record : file.Records())
        if (record.Type != U_EMR_HEADER && record.Type != U_EMR_EOF && record.Type != U_EMR_COMMENT)
            return true;
    return false;
}

class EmfCorpusPage : public testing::TestWithParam<std::string> {};

TEST_P(EmfCorpusPage, RendersAtItsFrameSize) {
    std::string path = kCorpus + "/pages/" + GetParam();
    marlhost::EmfFile file = marlhost::EmfFile::Read(path);
    int32_t width = 0, height = 0;
    double dpi = 0;
    marlhost::EmfPictureSize(file.Header(), 100, width, height, dpi);
    ScratchDirectory scratch;
    std::string picture = scratch.File("page.png");
    CommandResult run = RunHost({path, "-o", picture, "--dpi", "100", "--quiet"});
    ASSERT_EQ(run.Exit, 0) << run.Output;
    int w = 0, h = 0, channels = 0;
    unsigned char* pixels = stbi_load(picture.c_str(), &w, &h, &channels, 3);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(w, width);
    EXPECT_EQ(h, height);
    size_t inked = 0;
    for (size_t i = 0; i < size_t(w) * size_t(h) * 3; ++i)
        inked += pixels[i] != 0xFF;
    stbi_image_free(pixels);
    if (DrawsAnything(file))
        EXPECT_GT(inked, 0u) << "blank picture";
    else
        EXPECT_EQ(inked, 0u);
}

INSTANTIATE_TEST_SUITE_P(SharedCorpus, EmfCorpusPage,
                         testing::ValuesIn(FilesIn(kCorpus + "/pages")),
                         [](const testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param.substr(0, info.param.size() - 4);
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(EmfCorpusPage);

class EmfCorruptedFile : public testing::TestWithParam<std::string> {};

TEST_P(EmfCorruptedFile, IsRefusedWithoutAPicture) {
    std::string path = kCorpus + "/corrupted/" + GetParam();
    ScratchDirectory scratch;
    std::string picture = scratch.File("page.png");
    CommandResult run = RunHost({path, "-o", picture, "--quiet"});
    // Its damage lies in the padding after a font's face name, which nothing reads: the
    // picture is the undamaged file's.
    if (GetParam() == "bad_corrupted_2014-12-07-140817.emf") {
        EXPECT_EQ(run.Exit, 0) << run.Output;
        return;
    }
    EXPECT_EQ(run.Exit, 3) << run.Output;
    EXPECT_NE(run.Output.find(path + ": "), std::string::npos) << run.Output;
    EXPECT_TRUE(run.Output.find("record") != std::string::npos ||
                run.Output.find("EMR_HEADER") != std::string::npos)
        << run.Output;
    EXPECT_FALSE(FileExists(picture));
}

INSTANTIATE_TEST_SUITE_P(SharedCorpus, EmfCorruptedFile,
                         testing::ValuesIn(FilesIn(kCorpus + "/corrupted")),
                         [](const testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param.substr(14, info.param.size() - 18);
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(EmfCorruptedFile);

// ---------------------------------------------------------------- metafiles made here

// A metafile written record by record: a header for a 100 x 100 pixel reference device of
// 100 x 100 mm with a frame of 50 x 50 mm, so that at 25.4 dpi one device pixel is one
// picture pixel.
class MetafileWriter {
public:
    MetafileWriter() {
        U_EMRHEADER h{};
        h.emr.iType = U_EMR_HEADER;
        h.emr.nSize = sizeof h;
        h.rclFrame = {0, 0, 5000, 5000};
        h.dSignature = U_ENHMETA_SIGNATURE;
        h.nVersion = 0x10000;
        h.nHandles = 4;
        h.szlDevice = {100, 100};
        h.szlMillimeters = {100, 100};
        Append(&h, sizeof h);
    }
    void Append(const void* record, size_t size) {
        const char* bytes = static_cast<const char*>(record);
        Bytes.insert(Bytes.end(), bytes, bytes + size);
        ++Count;
    }
    void Words(std::vector<uint32_t> words) {
        words[1] = static_cast<uint32_t>(words.size() * 4);
        Append(words.data(), words.size() * 4);
    }
    marlhost::EmfFile Finish() {
        Words({U_EMR_EOF, 0, 0, 0, 0});
        auto* header = reinterpret_cast<U_EMRHEADER*>(Bytes.data());
        header->nBytes = static_cast<uint32_t>(Bytes.size());
        header->nRecords = Count;
        return marlhost::EmfFile::FromBytes(Bytes, "made.emf");
    }
    std::vector<char> Bytes;
    uint32_t Count = 0;
};

marlhost::Page Play(const marlhost::EmfFile& file) {
    marlhost::EmfPlayOptions options;
    options.Dpi = 25.4;
    marlhost::EmfPlayNotes notes;
    return marlhost::PlayEmf(file, options, notes);
}

std::vector<marlhost::Interval> RowOf(const marlhost::FillOp& fill, int32_t y) {
    std::vector<marlhost::Interval> row;
    fill.Area.RowIntervals(y, row);
    return row;
}

TEST(EmfPlayer, ClippedRectangleBecomesClippedSpans) {
    MetafileWriter w;
    w.Words({U_EMR_SELECTOBJECT, 0, 0x80000008u}); // NULL_PEN
    w.Words({U_EMR_INTERSECTCLIPRECT, 0, 20, 20, 40, 40});
    w.Words({U_EMR_EXCLUDECLIPRECT, 0, 25, 0, 30, 100});
    w.Words({U_EMR_SETROP2, 0, 7}); // XOR pen
    w.Words({U_EMR_RECTANGLE, 0, 10, 10, 35, 35});
    marlhost::Page page = Play(w.Finish());
    ASSERT_EQ(page.Width, 50);
    ASSERT_EQ(page.Operations.size(), 1u);
    const auto& fill = std::get<marlhost::FillOp>(page.Operations[0].Draw);
    EXPECT_EQ(fill.Code, 0x5A);
    EXPECT_EQ(fill.Area.TopRow(), 20);
    EXPECT_EQ(fill.Area.BottomRow(), 35);
    std::vector<marlhost::Interval> row = RowOf(fill, 22);
    ASSERT_EQ(row.size(), 2u);
    EXPECT_EQ(row[0].Left, 20);
    EXPECT_EQ(row[0].Right, 25);
    EXPECT_EQ(row[1].Left, 30);
    EXPECT_EQ(row[1].Right, 35);
    EXPECT_EQ(page.Brushes.at(size_t(fill.Brush)).Color, 0xFFFFFFu); // the stock white brush
}

TEST(EmfPlayer, CosmeticPolylineBecomesLinesWithoutTheirLastPixels) {
    MetafileWriter w;
    w.Words({U_EMR_CREATEPEN, 0, 1, U_PS_SOLID, 0, 0, 0x0000FF});
    w.Words({U_EMR_SELECTOBJECT, 0, 1});
    w.Words({U_EMR_POLYLINE16, 0, 0, 0, 0, 0, 3, 5 | 5u << 16, 15 | 5u << 16, 15 | 12u << 16});
    marlhost::Page page = Play(w.Finish());
    ASSERT_EQ(page.Operations.size(), 2u);
    const auto& first = std::get<marlhost::LineOp>(page.Operations[0].Draw);
    EXPECT_EQ(first.From.X, 5);
    EXPECT_EQ(first.To.X, 15);
    EXPECT_EQ(first.Last, 9); // eleven pixels, the last left to the next segment
    EXPECT_EQ(first.Color, 0x0000FFu);
    EXPECT_EQ(first.Code, 0xF0);
}

TEST(EmfPlayer, TransparentHatchPaintsOnlyItsLines) {
    // A cross hatch (lines every 8 pixels at 25.4 dpi) on a transparent background: every
    // painted pixel lies on a row or column of the pattern, and every such pixel of the
    // rectangle is painted.
    MetafileWriter w;
    w.Words({U_EMR_SELECTOBJECT, 0, 0x80000008u}); // NULL_PEN
    w.Words({U_EMR_CREATEBRUSHINDIRECT, 0, 1, U_BS_HATCHED, 0x0000FF, U_HS_CROSS});
    w.Words({U_EMR_SELECTOBJECT, 0, 1});
    w.Words({U_EMR_SETBKMODE, 0, U_TRANSPARENT});
    w.Words({U_EMR_RECTANGLE, 0, 3, 5, 30, 27});
    marlhost::Page page = Play(w.Finish());
    ASSERT_EQ(page.Operations.size(), 1u);
    const auto& fill = std::get<marlhost::FillOp>(page.Operations[0].Draw);
    EXPECT_EQ(page.Brushes.at(size_t(fill.Brush)).Style, marlhost::BrushStyle::Solid);
    EXPECT_EQ(page.Brushes.at(size_t(fill.Brush)).Color, 0x0000FFu);
    // The rectangle covers columns 3..29 and rows 5..26.
    for (int32_t y = 0; y < 40; ++y) {
        std::vector<marlhost::Interval> row = RowOf(fill, y);
        for (int32_t x = 0; x < 40; ++x) {
            bool painted = std::any_of(row.begin(), row.end(), [x](const marlhost::Interval& i) {
                return i.Left <= x && x < i.Right;
            });
            bool inside = x >= 3 && x < 30 && y >= 5 && y < 27;
            EXPECT_EQ(painted, inside && (x % 8 == 0 || y % 8 == 0)) << x << "," << y;
        }
    }
}

// Text at an escapement of 90 degrees runs up the picture when logical y points down and
// down the picture when it points up (the escapement turns logical space, as GDI's own
// player shows); either way the glyphs stand on the baseline, not mirrored.
class EmfTextDirection : public testing::TestWithParam<int32_t> {};

TEST_P(EmfTextDirection, NinetyDegreesFollowTheMapping) {
    int32_t ySign = GetParam();
    MetafileWriter w;
    w.Words({U_EMR_SETMAPMODE, 0, marlhost::MM_ANISOTROPIC_});
    w.Words({U_EMR_SETWINDOWEXTEX, 0, 100, uint32_t(100 * ySign)});
    w.Words({U_EMR_SETVIEWPORTEXTEX, 0, 100, 100});
    w.Words({U_EMR_SETWINDOWORGEX, 0, 0, uint32_t(ySign < 0 ? 50 : 0)});
    // A font 8 units high, escapement 900, face "DejaVu Sans" in the last words.
    std::vector<uint32_t> font(2 + 1 + 23 + 8, 0);
    font[0] = U_EMR_EXTCREATEFONTINDIRECTW;
    font[2] = 1;
    font[3] = uint32_t(-8);
    font[5] = 900;
    font[6] = 900;
    font[7] = 400;
    const char16_t face[] = u"DejaVu Sans";
    std::memcpy(&font[10], face, sizeof face);
    w.Words(font);
    w.Words({U_EMR_SELECTOBJECT, 0, 1});
    w.Words({U_EMR_SETBKMODE, 0, U_TRANSPARENT});
    w.Words({U_EMR_SETTEXTALIGN, 0, U_TA_BASELINE});
    // "III" at logical (20, 25), picture (20, 25) either way, no spacing array.
    w.Words({U_EMR_EXTTEXTOUTW, 0, 0, 0, 0, 0, 2, 0, 0, 20, 25, 3, 60, U_ETO_NO_RECT, 0, 0x490049,
             0x49});
    marlhost::Page page = Play(w.Finish());
    std::vector<marlhost::PageRect> glyphs;
    for (const auto& operation : page.Operations)
        if (const auto* blit = std::get_if<marlhost::BlitOp>(&operation.Draw))
            glyphs.push_back(blit->Area);
    ASSERT_EQ(glyphs.size(), 3u);
    for (size_t i = 0; i < glyphs.size(); ++i) {
        EXPECT_GT(glyphs[i].Width, glyphs[i].Height) << "an upright I turned on its side";
        if (i > 0 && ySign > 0) {
            EXPECT_LT(glyphs[i].Y, glyphs[i - 1].Y) << "each glyph above the last";
        }
        if (i > 0 && ySign < 0) {
            EXPECT_GT(glyphs[i].Y, glyphs[i - 1].Y) << "each glyph below the last";
        }
        // Glyphs stand on the baseline: their ink lies on the side the text's up points to,
        // left of the point when reading upwards, right of it when reading downwards.
        if (ySign > 0) {
            EXPECT_LE(glyphs[i].X + glyphs[i].Width, 21);
        } else {
            EXPECT_GE(glyphs[i].X, 19);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Mappings, EmfTextDirection, testing::Values(1, -1),
                         [](const testing::TestParamInfo<int32_t>& info) {
                             return info.param > 0 ? std::string("YDown") : std::string("YUp");
                         });

TEST(EmfPlayer, BrokenRecordsAreNamed) {
    struct Case {
        const char* Name;
        std::vector<uint32_t> Record;
        const char* Message;
    };
    std::vector<Case> cases = {
        {"object outside the handles", {U_EMR_CREATEPEN, 0, 9, 0, 1, 0, 0}, "outside the header's"},
        {"unknown type", {200, 0, 1}, "not one of the format's records"},
        {"text outside",
         {U_EMR_EXTTEXTOUTW, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 50, 4000, 0, 0, 0, 0, 0, 0},
         "outside the record"},
    };
    for (const Case& c : cases) {
        MetafileWriter w;
        w.Words(c.Record);
        try {
            marlhost::EmfFile file = w.Finish();
            Play(file);
            ADD_FAILURE() << c.Name << ": accepted";
        } catch (const marlhost::HostError& error) {
            EXPECT_EQ(error.Exit(), marlhost::ExitCode::BadPage);
            EXPECT_NE(std::string(error.what()).find("record 1 ("), std::string::npos)
                << c.Name << ": " << error.what();
            EXPECT_NE(std::string(error.what()).find(c.Message), std::string::npos)
                << c.Name << ": " << error.what();
        }
    }
}

TEST(EmfReader, DamagedFramesAreRefusedWithTheirReason) {
    struct Case {
        const char* Name;
        void (*Damage)(MetafileWriter&);
        const char* Message;
    };
    std::vector<Case> cases = {
        {"description outside the header",
         [](MetafileWriter& w) {
             auto* h = reinterpret_cast<U_EMRHEADER*>(w.Bytes.data());
             h->nDescription = 10;
             h->offDescription = 0x7FFFFFF0;
         },
         "description"},
        {"EMF+ record longer than its comment",
         [](MetafileWriter& w) {
             // cbData 16: "EMF+", then a record of type 0x4001 claiming 64 bytes.
             w.Words({U_EMR_COMMENT, 0, 16, 0x2B464D45, 0x4001, 64, 0, 0});
         },
         "EMF+ record"},
        {"EMF+ data larger than its record",
         [](MetafileWriter& w) {
             w.Words({U_EMR_COMMENT, 0, 16, 0x2B464D45, 0x4001, 12, 99, 0});
         },
         "EMF+ record"},
        {"zero frame",
         [](MetafileWriter& w) {
             reinterpret_cast<U_EMRHEADER*>(w.Bytes.data())->rclFrame = {0, 0, 0, 100};
         },
         "picture frame"},
        {"no reference device",
         [](MetafileWriter& w) {
             reinterpret_cast<U_EMRHEADER*>(w.Bytes.data())->szlMillimeters = {0, 100};
         },
         "reference device"},
        {"record size not a multiple of four",
         [](MetafileWriter& w) {
             w.Words({U_EMR_SAVEDC, 0});
             uint32_t odd = 10;
             std::memcpy(w.Bytes.data() + w.Bytes.size() - 4, &odd, 4);
             w.Bytes.insert(w.Bytes.end(), {0, 0});
         },
         "not a record size"},
    };
    for (const Case& c : cases) {
        MetafileWriter w;
        c.Damage(w);
        try {
            marlhost::EmfFile file = w.Finish();
            ADD_FAILURE() << c.Name << ": accepted";
        } catch (const marlhost::HostError& error) {
            EXPECT_EQ(error.Exit(), marlhost::ExitCode::BadPage);
            EXPECT_NE(std::string(error.what()).find(c.Message), std::string::npos)
                << c.Name << ": " << error.what();
        }
    }
    // A file cut short and given a new end: far fewer records than announced.
    MetafileWriter w;
    marlhost::EmfFile good = w.Finish();
    reinterpret_cast<U_EMRHEADER*>(w.Bytes.data())->nRecords = 40;
    EXPECT_THROW(marlhost::EmfFile::FromBytes(w.Bytes, "short.emf"), marlhost::HostError);
}

TEST(EmfPlayer, RecordPastTheEndIsRefusedBeforeItIsRead) {
    MetafileWriter w;
    w.Words({U_EMR_LINETO, 0, 5, 5});
    marlhost::EmfFile good = w.Finish();
    std::vector<char> bytes = w.Bytes;
    uint32_t huge = 0x7FFFFFF0;
    std::memcpy(bytes.data() + sizeof(U_EMRHEADER) + 4, &huge, 4);
    try {
        marlhost::EmfFile::FromBytes(bytes, "cut.emf");
        ADD_FAILURE() << "accepted";
    } catch (const marlhost::HostError& error) {
        EXPECT_NE(std::string(error.what()).find("record 1 (U_EMR_LINETO"), std::string::npos)
            << error.what();
        EXPECT_NE(std::string(error.what()).find("past the end"), std::string::npos);
    }
}

} // namespace
#endif
