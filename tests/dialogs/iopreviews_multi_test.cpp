// TKorvaneMIO::DoPreviews: the dialog edits one image's record, or record 0 for every image.
#include "imaging/codecs/params/ioparams.h"
#include "imaging/io/korvanemio.h"
#include "platform/forms/com_controls.h"
#include "platform/forms/simulate.h"
#include "platform/forms/std_controls.h"
#include "tests/dialogs/iopreviews_test_support.h"
#include "tests/dialogs/mview_test_support.h"

#include <gtest/gtest.h>

using namespace iopreviewstest;
using namespace mviewtest;

namespace {

// A view of three pictures whose records hold qualities 10, 20 and 30.
struct ThreeImages
{
    MViewOnForm f;
    TKorvaneMIO* mio = nullptr;

    ThreeImages()
    {
        for (int32_t i = 0; i < 3; ++i) {
            auto photo = Photo(40, 30);
            f.view->SetKVBitmap(f.view->AppendImage(), photo.get());
        }
        f.view->Deselect();
        mio = f.view->GetKorvaneMIO();
        mio->SimplifiedParamsDialogs = false;
        for (int32_t i = 0; i < 3; ++i) {
            mio->GetParams(i)->JPEG_Quality = 10 * (i + 1);
        }
    }
    int32_t Quality(int32_t i) { return mio->GetParams(i)->JPEG_Quality; }
};

// Runs DoPreviews, sliding the quality to Quality and ending with OK or Cancel, as soon as a
// save-parameters dialog shows.
bool Edit(TKorvaneMIO* mio, int32_t Index, int32_t Quality, bool Ok, std::string* Shown = nullptr)
{
    bool ran = false;
    TTimer timer(nullptr);
    timer.SetInterval(1);
    timer.OnTimer = [&](TObject*) {
        for (int32_t i = 0; i < Screen->FormCount() && !ran; ++i) {
            auto* d = dynamic_cast<TfIOPreviews*>(Screen->Forms(i));
            if (d != nullptr && d->Modal()) {
                ran = true;
                if (Shown != nullptr) {
                    *Shown = d->Edit22->Text();
                }
                Simulate::Slide(d->TrackBar13, Quality);
                Simulate::Click(Ok ? d->Button1 : d->Button2);
            }
        }
    };
    const bool result = mio->DoPreviews(Index, PreviewSet(ppJPEG));
    EXPECT_TRUE(ran);
    return result;
}

} // namespace

TEST(IOPreviewsMulti, EditsOneRecordOrRecordZeroForAll)
{
    ThreeImages t;
    // With nothing selected, image 0 is selected and previewed; Index 1 edits record 1 only.
    std::string shown;
    EXPECT_TRUE(Edit(t.mio, 1, 55, true, &shown));
    EXPECT_EQ(shown, "20");
    EXPECT_EQ(t.f.view->SelectedImage(), 0);
    EXPECT_EQ((std::vector<int32_t>{t.Quality(0), t.Quality(1), t.Quality(2)}),
              (std::vector<int32_t>{10, 55, 30}));

    // Cancel with Index < 0: every record stays as it was.
    EXPECT_FALSE(Edit(t.mio, -1, 77, false));
    EXPECT_EQ((std::vector<int32_t>{t.Quality(0), t.Quality(1), t.Quality(2)}),
              (std::vector<int32_t>{10, 55, 30}));

    // OK with Index < 0: record 0's saving settings go to every record; the indexes stay.
    EXPECT_TRUE(Edit(t.mio, -1, 77, true));
    EXPECT_EQ((std::vector<int32_t>{t.Quality(0), t.Quality(1), t.Quality(2)}),
              (std::vector<int32_t>{77, 77, 77}));
    for (int32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(t.mio->GetParams(i)->GIF_ImageIndex, i);
        EXPECT_EQ(t.mio->GetParams(i)->TIFF_ImageIndex, i);
    }

    // No record at the index, no images, no view: nothing shows.
    EXPECT_FALSE(t.mio->DoPreviews(3, PreviewSet(ppJPEG)));
    MViewOnForm empty;
    EXPECT_FALSE(empty.view->GetKorvaneMIO()->DoPreviews(-1, PreviewSet(ppJPEG)));
    TKorvaneMIO alone(nullptr);
    EXPECT_FALSE(alone.DoPreviews(-1, PreviewSet(ppJPEG)));
}
