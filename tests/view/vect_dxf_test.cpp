// Drawing import: the mapping of extents, lines, circles and arcs; padded codes and CR LF; the
// extents that must not scale a drawing away; hostile files; and every drawing of two Debian
// packages against ezdxf's reading of it (tests/tools/dxf_reference.py, digests in
// tests/data/dxf/reference_digests.txt).
#include "platform/core/strings.h"
#include "tests/support/temp_folder.h"
#include "tests/view/vect_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

using namespace vecttest;

namespace {

// The objects as the reference prints them: one line each, sorted.
std::vector<std::string> Lines(TKorvaneVect* v)
{
    std::vector<std::string> lines;
    for (int32_t i = 0; i < v->ObjectsCount(); ++i) {
        const TKVVObject& o = v->Obj(v->GetObjFromIndex(i));
        std::string line = std::to_string(int(o.Kind)) + " " + std::to_string(o.x1) + " " +
                           std::to_string(o.y1) + " " + std::to_string(o.x2) + " " + std::to_string(o.y2);
        if (o.Kind == kvkARC) {
            line += Concat(" ", HexDouble(o.ArcStart), " ", HexDouble(o.ArcEnd));
        }
        lines.push_back(line);
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::vector<std::string> InOrder(TKorvaneVect* v)
{
    std::vector<std::string> lines;
    for (int32_t i = 0; i < v->ObjectsCount(); ++i) {
        const TKVVObject& o = v->Obj(v->GetObjFromIndex(i));
        lines.push_back(std::to_string(int(o.Kind)) + " " + std::to_string(o.x1) + " " +
                        std::to_string(o.y1) + " " + std::to_string(o.x2) + " " + std::to_string(o.y2));
    }
    return lines;
}

struct Import
{
    VectOnForm f{80, 60, 200, 100};
    kvtest::TempFolder temp;
    bool ok = false;
    std::vector<std::string> operator()(const std::string& content)
    {
        f.vect->RemoveAllObjects();
        const std::string file = temp.Write("d.dxf", content);
        ok = f.vect->ImportDXF(file);
        return InOrder(f.vect);
    }
};

} // namespace

TEST(VectDxf, ExtentsScaleAndFlipTheDrawing)
{
    Import import;
    // No header: coordinates are picture pixels, y flipped (H = 100).
    const std::string entities = "0\nSECTION\n2\nENTITIES\n"
                                 "0\nLINE\n10\n10\n20\n20\n11\n30\n21\n5\n"
                                 "0\nCIRCLE\n10\n50\n20\n50\n40\n10\n"
                                 "0\nARC\n10\n50\n20\n50\n40\n10\n50\n0\n51\n90\n"
                                 "0\nENDSEC\n0\nEOF\n";
    EXPECT_EQ(import(entities),
              (std::vector<std::string>{"1 10 80 30 95", "3 40 40 60 60", "4 40 40 60 60"}));
    EXPECT_TRUE(import.ok);
    const TKVVObject& arc = import.f.vect->Obj(import.f.vect->GetObjFromIndex(2));
    EXPECT_DOUBLE_EQ(arc.ArcStart, 2 * M_PI);
    EXPECT_DOUBLE_EQ(arc.ArcEnd, 1.5 * M_PI);

    // Extents (0, 0)-(99, 49) on 200 x 100: s = 2, yo = 100 - 98 = 2.
    const std::string header = "0\nSECTION\n2\nHEADER\n9\n$EXTMIN\n10\n0\n20\n0\n30\n0\n"
                               "9\n$EXTMAX\n10\n99\n20\n49\n30\n0\n0\nENDSEC\n";
    EXPECT_EQ(import(header + entities),
              (std::vector<std::string>{"1 20 58 60 88", "3 80 -22 120 18", "4 80 -22 120 18"}));

    // Padded codes and CR LF endings read the same.
    std::string padded;
    std::istringstream in(header + entities);
    bool code = true;
    for (std::string line; std::getline(in, line); code = !code) {
        padded +=
            (code ? std::string(3 - std::min<size_t>(line.size(), 3), ' ') : std::string()) + line + "\r\n";
    }
    EXPECT_EQ(import(padded),
              (std::vector<std::string>{"1 20 58 60 88", "3 80 -22 120 18", "4 80 -22 120 18"}));
    EXPECT_TRUE(import.ok);

    // Extents that would scale everything away: the drawing reads as one without extents.
    for (const char* bad : {"10\n0\n20\n0\n30\n0\n9\n$EXTMAX\n10\n0\n20\n0\n",                   // empty
                            "10\n1E+20\n20\n1E+20\n30\n0\n9\n$EXTMAX\n10\n-1E+20\n20\n-1E+20\n", // unset
                            "10\n99\n20\n49\n30\n0\n9\n$EXTMAX\n10\n0\n20\n0\n",                 // reversed
                            "10\n0\n20\n0\n30\n0\n9\n$EXTMAX\n10\n1e300\n20\n1e300\n"}) {        // huge
        SCOPED_TRACE(bad);
        const std::string h = std::string("0\nSECTION\n2\nHEADER\n9\n$EXTMIN\n") + bad + "0\nENDSEC\n";
        EXPECT_EQ(import(h + entities),
                  (std::vector<std::string>{"1 10 80 30 95", "3 40 40 60 60", "4 40 40 60 60"}));
        EXPECT_TRUE(import.ok);
    }
    // Blocks and other entity types are ignored.
    EXPECT_EQ(import("0\nSECTION\n2\nBLOCKS\n0\nLINE\n10\n1\n20\n1\n11\n2\n21\n2\n0\nENDSEC\n"
                     "0\nSECTION\n2\nENTITIES\n0\nPOINT\n10\n1\n20\n1\n0\nENDSEC\n0\nEOF\n"),
              std::vector<std::string>{});
}

TEST(VectDxf, BadNumbersAndCutFilesEndTheImportWithWhatWasRead)
{
    Import import;
    const std::string start = "0\nSECTION\n2\nENTITIES\n0\nLINE\n10\n1\n20\n1\n11\n2\n21\n2\n";
    for (const char* tail :
         {"0\nLINE\n10\n1,5\n", "0\nLINE\n10\nnan\n", "0\nLINE\n10\ninf\n", "0\nLINE\n10\n1e999\n",
          "0\nLINE\n10\n0x10\n", "0\nLINE\n10\n\n", "0\nLINE\n10\n"}) {
        SCOPED_TRACE(tail);
        EXPECT_EQ(import(start + tail).size(), 1u);
        EXPECT_FALSE(import.ok);
    }
    // Saturating: a coordinate far outside int32.
    EXPECT_EQ(
        import("0\nSECTION\n2\nENTITIES\n0\nLINE\n10\n1e300\n20\n-1e300\n11\n-1e300\n21\n1e300\n0\nEOF\n"),
        (std::vector<std::string>{"1 2147483647 2147483647 -2147483648 -2147483547"}));
    EXPECT_TRUE(import.ok);
    // Junk, and a file that is not there.
    std::string junk;
    for (int i = 0; i < 100000; ++i) {
        junk += char('!' + (i * 7919) % 90);
        if (i % 13 == 0) {
            junk += '\n';
        }
    }
    import(junk);
    EXPECT_FALSE(import.f.vect->ImportDXF(import.temp.File("missing.dxf")));
}

TEST(VectDxf, AMillionEntitiesEndQuickly)
{
    std::string big = "0\nSECTION\n2\nENTITIES\n";
    big.reserve(40000000);
    for (int i = 0; i < 1000000; ++i) {
        big += i % 100 ? "0\nPOINT\n10\n1.5\n20\n2.5\n" : "0\nLINE\n10\n1\n20\n1\n11\n9\n21\n9\n";
    }
    big += "0\nENDSEC\n0\nEOF\n";
    Import import;
    // Only a runaway import takes 10 s: it takes about 0.3 s, under the sanitizers too.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(import(big).size(), 10000u);
    EXPECT_TRUE(import.ok);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST(VectDxf, DrawingsOfTheDebianPackagesMatchTheReference)
{
    std::ifstream list(std::string(KV_TEST_DATA_DIR) + "/dxf/reference_digests.txt");
    ASSERT_TRUE(list.good());
    VectOnForm f(80, 60, 1000, 800);
    int32_t compared = 0, refused = 0, objects = 0;
    std::string path, status;
    int32_t count = 0;
    std::string crc;
    while (list >> path >> status >> count >> crc) {
        struct stat st;
        if (stat(path.c_str(), &st) != 0) {
            continue; // the package is not installed
        }
        SCOPED_TRACE(path);
        f.vect->RemoveAllObjects();
        const bool ok = f.vect->ImportDXF(path);
        if (status == "false") {
            EXPECT_FALSE(ok);
            ++refused;
            continue;
        }
        EXPECT_TRUE(ok);
        std::string text;
        for (const std::string& line : Lines(f.vect)) {
            text += line + "\n";
        }
        char digest[16];
        std::snprintf(digest, sizeof digest, "%08lx",
                      crc32(0, reinterpret_cast<const Bytef*>(text.data()), uInt(text.size())));
        EXPECT_EQ(f.vect->ObjectsCount(), count);
        EXPECT_EQ(digest, crc);
        objects += f.vect->ObjectsCount();
        ++compared;
    }
    std::printf("%d drawings compared (%d objects), %d refused\n", compared, objects, refused);
}
