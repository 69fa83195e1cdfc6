// The gallery's picture workers: stopped while they load, a picture of each format the gallery
// reads ends its load at the next row, strip or tile, and the jobs not started never run; and the
// jobs share the cores.
#include "app/gallery_pictures.h"
#include "app/picture_workers.h"
#include "imaging/io/korvaneio.h"
#include "platform/core/system.h"
#include "tests/app/gallery_run_test_support.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <latch>
#include <string>

using namespace gallerytest;

TEST(PictureWorkers, StopEndsTheLoadInHandAtItsNextRowAndDropsTheJobsNotStarted)
{
    kvtest::TempFolder temp;
    const std::string pattern = "-size 320x240 gradient:navy-orange -swirl 60";
    const struct
    {
        const char* Name;
        std::string Make;  // the command that makes the picture
        int ReportedAfter; // progress reports of the load after the stop
    } cases[] = {
        {"photo.jpg", "convert " + pattern + " -quality 90 ", 0},
        {"photo.png", "convert " + pattern + " ", 0},
        {"strips.tif", "convert " + pattern + " -compress LZW -define tiff:rows-per-strip=4 ", 0},
        // A GIF frame's codes are decoded in one call, which reports 70 % at its end.
        {"photo.gif", "convert " + pattern + " ", 1},
        {"photo.bmp", "convert " + pattern + " ", 0},
        {"photo.pcx", "convert " + pattern + " ", 0},
        {"photo.tga", "convert " + pattern + " ", 0},
        {"photo.ppm", "convert " + pattern + " ", 0},
        {"tiles.jp2",
         "convert " + pattern + " " + temp.File("tiles.ppm") + " && opj_compress -t 32,32 -i " +
             temp.File("tiles.ppm") + " -o ",
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string file = temp.File(c.Name);
        RunTool(c.Make + Quoted(file));
        ASSERT_TRUE(FileExists(file));
        TPictureWorkers workers(1);
        bool loaded = true, aborting = false, secondRan = false;
        int eventsBeforeStop = 0, reportedAfter = 0;
        workers.Submit(0, [&](TPictureTools& Tools) {
            // The user cancels once the picture is partly loaded.
            const TKVProgressEvent reporting = Tools.IO->OnProgress;
            Tools.IO->OnProgress = [&, reporting](TObject* Sender, int32_t Percent) {
                if (workers.Stopped()) {
                    // The load's end reports 100 % whatever happened.
                    reportedAfter += Percent < 100 ? 1 : 0;
                } else if (Percent > 0 && Percent < 100) {
                    ++eventsBeforeStop;
                    workers.Stop();
                }
                reporting(Sender, Percent);
            };
            loaded = LoadPicture(Tools, file);
            aborting = Tools.IO->Aborting;
        });
        workers.Submit(1, [&](TPictureTools&) { secondRan = true; });
        while (workers.InHand() > 0) {
            workers.TakeFinished(1000);
        }
        EXPECT_EQ(eventsBeforeStop, 1);
        EXPECT_FALSE(loaded);
        EXPECT_TRUE(aborting);
        EXPECT_EQ(reportedAfter, c.ReportedAfter);
        EXPECT_FALSE(secondRan);
    }
}

// A job alone has every usable core for its loads' threads; the jobs of a full pool of two divide
// them. Without the share, each of eight workers' loads started a thread for every core.
TEST(PictureWorkers, JobsShareTheCores)
{
    const unsigned cores = UsableCores();
    TPictureWorkers workers(2);
    const auto finishAll = [&workers] {
        while (workers.InHand() > 0) {
            workers.TakeFinished(1000);
        }
    };
    unsigned alone = 0;
    workers.Submit(0, [&alone](TPictureTools&) { alone = CoresOfThisThread(); });
    finishAll();
    EXPECT_EQ(alone, cores);

    // Both workers are held while two more jobs queue; each of those starts with the other in hand.
    std::promise<void> release;
    const std::shared_future<void> released = release.get_future().share();
    for (int64_t ticket = 1; ticket <= 2; ++ticket) {
        workers.Submit(ticket, [released](TPictureTools&) { released.wait(); });
    }
    std::latch bothStarted(2);
    unsigned shares[2] = {0, 0};
    for (int64_t ticket = 3; ticket <= 4; ++ticket) {
        workers.Submit(ticket, [&, ticket](TPictureTools&) {
            shares[ticket - 3] = CoresOfThisThread();
            bothStarted.arrive_and_wait();
        });
    }
    release.set_value();
    finishAll();
    EXPECT_EQ(shares[0], std::max(1u, cores / 2));
    EXPECT_EQ(shares[1], std::max(1u, cores / 2));
}
