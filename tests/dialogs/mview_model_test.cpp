// The thumbnail view's image list: the grid layout, what the bitmap-change callbacks see of
// inserts and deletes, the selection across them, the stored copies of each pixel format, and
// the parameter records of the multi-image I/O component that follow the list.
#include "imaging/codecs/params/ioparams.h"
#include "imaging/io/korvanemio.h"
#include "platform/core/exceptions.h"
#include "tests/dialogs/mview_test_support.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

using namespace mviewtest;

namespace {

// What the callbacks saw: (LastOp, LastOpIdx) per call.
struct OpLog
{
    std::vector<std::pair<int32_t, int32_t>> ops;
    explicit OpLog(TKorvaneMView* view)
    {
        view->RegisterBitmapChangeEvent([this, view](TObject*, bool destroying) {
            if (!destroying)
                ops.emplace_back(view->GetLastOp(), view->GetLastOpIdx());
        });
    }
};

TEST(MViewLayout, GridWidthsBordersAndModes)
{
    struct Case
    {
        int32_t gridWidth;
        TKVMDisplayMode mode;
        int32_t count;
        int32_t lastX, lastY;
        int32_t extentW, extentH;
    };
    // Client 440 wide: (440 - 4) div 104 = 4 columns for GridWidth -1.
    const Case cases[] = {
        {0, mdGrid, 2, 108, 4, 212, 108},    // one row: the defaults' two cells
        {0, mdGrid, 7, 628, 4, 732, 108},    // all in one row
        {-1, mdGrid, 7, 212, 108, 420, 212}, // four columns fit
        {3, mdGrid, 7, 4, 212, 316, 316},    // three whatever the width
        {3, mdSingle, 7, 0, 0, 104, 104},    // every cell at (0, 0), one cell plus a border
    };
    for (const Case& c : cases) {
        MViewOnForm f;
        f.view->SetGridWidth(c.gridWidth);
        f.view->SetDisplayMode(c.mode);
        for (int32_t i = 0; i < c.count; ++i)
            f.view->AppendImage();
        SCOPED_TRACE(testing::Message() << "grid width " << c.gridWidth << " mode " << int(c.mode));
        EXPECT_EQ(f.view->GetImageX(c.count - 1), c.lastX);
        EXPECT_EQ(f.view->GetImageY(c.count - 1), c.lastY);
        EXPECT_EQ(f.view->GridExtentWidth(), c.extentW);
        EXPECT_EQ(f.view->GridExtentHeight(), c.extentH);
        if (c.mode == mdGrid) {
            EXPECT_EQ(f.view->GetImageX(0), 4);
            EXPECT_EQ(f.view->GetImageY(0), 4);
        }
    }
}

TEST(MViewLayout, HitTestsRefusedSizesAndNeutralValues)
{
    MViewOnForm f;
    f.view->SetGridWidth(-1);
    for (int32_t i = 0; i < 6; ++i)
        f.view->AppendImage();
    // Cells, the border strip between them, the place past the last image.
    EXPECT_EQ(f.view->ImageAtPos(4, 4), 0);
    EXPECT_EQ(f.view->ImageAtPos(103, 103), 0);
    EXPECT_EQ(f.view->ImageAtPos(105, 50), -1);
    EXPECT_EQ(f.view->ImageAtPos(110, 50), 1);
    EXPECT_EQ(f.view->ImageAtPos(120, 120), 5);
    EXPECT_EQ(f.view->ImageAtPos(330, 120), -1);
    EXPECT_EQ(f.view->InsertingPoint(330, 120), 6);
    EXPECT_EQ(f.view->InsertingPoint(110, 10), 1);
    // Cells below 1 x 1 and negative borders are refused.
    f.view->SetThumbWidth(0);
    f.view->SetThumbHeight(-3);
    f.view->SetHorizBorder(-1);
    f.view->SetVertBorder(-1);
    EXPECT_EQ(f.view->ThumbWidth(), 100);
    EXPECT_EQ(f.view->ThumbHeight(), 100);
    EXPECT_EQ(f.view->HorizBorder(), 4);
    EXPECT_EQ(f.view->VertBorder(), 4);
    // Out-of-range indexes: neutral getters, ignored setters.
    for (int32_t bad : {-1, 6, 1000}) {
        EXPECT_EQ(f.view->GetImageX(bad), 0);
        EXPECT_EQ(f.view->GetImageID(bad), -1);
        EXPECT_EQ(f.view->GetImageFileName(bad), "");
        EXPECT_EQ(f.view->GetImageTopText(bad), nullptr);
        EXPECT_EQ(f.view->GetImageWidth(bad), 0);
        f.view->SetImageDelayTime(bad, 5);
        f.view->SetImageFileName(bad, "x.jpg");
        EXPECT_EQ(f.view->GetTKVBitmap(bad), nullptr);
    }
    // An ID set later drops the file name, and a file name drops the ID.
    f.view->SetImageFileName(2, "/tmp/a.jpg");
    f.view->SetImageID(2, 7);
    EXPECT_EQ(f.view->GetImageFileName(2), "");
    EXPECT_EQ(f.view->GetImageID(2), 7);
    f.view->SetImageFileName(2, "/tmp/b.jpg");
    EXPECT_EQ(f.view->GetImageID(2), -1);
}

TEST(MViewList, CallbacksSeeInsertsAndDeletes)
{
    MViewOnForm f;
    OpLog log(f.view);
    // The operation codes in order, and the index of every insert or delete.
    const auto codes = [&] {
        std::vector<int32_t> c;
        for (const auto& op : log.ops)
            c.push_back(op.first);
        return c;
    };
    const auto indexOf = [&](int32_t op) {
        for (const auto& o : log.ops)
            if (o.first == op)
                return o.second;
        return -100;
    };
    using Codes = std::vector<int32_t>;
    struct Step
    {
        const char* what;
        std::function<void()> act;
        Codes expected;
        int32_t op, idx;
    };
    const Step steps[] = {
        // The selection of the new entry announces first, then the insert, then its Update.
        {"InsertImage", [&] { f.view->InsertImage(0); }, Codes{0, 1, 0}, 1, 0},
        {"InsertImageEx past the end", [&] { f.view->InsertImageEx(f.view->GetImageCount() + 5); },
         Codes{1, 0}, 1, 6},
        {"DeleteImage", [&] { f.view->DeleteImage(1); }, Codes{0, 2, 0}, 2, 1},
        {"DeleteImageNU", [&] { f.view->DeleteImageNU(0); }, Codes{2}, 2, 0},
        {"AppendImage", [&] { f.view->InsertImageEx(0); }, Codes{1, 0}, 1, 0},
        {"MoveImage",
         [&] {
             f.view->AppendImage();
             log.ops.clear();
             f.view->MoveImage(0, 1);
         },
         Codes{0, 0}, 0, 0},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        log.ops.clear();
        step.act();
        EXPECT_EQ(codes(), step.expected);
        if (step.op != 0) {
            EXPECT_EQ(indexOf(step.op), step.idx);
        }
    }
    // A negative or past-the-end index changes nothing, deselects nothing, raises nothing.
    f.view->SetSelectedItem(1);
    log.ops.clear();
    EXPECT_FALSE(f.view->DeleteImageNU(-1));
    EXPECT_FALSE(f.view->DeleteImageNU(2));
    EXPECT_TRUE(log.ops.empty());
    EXPECT_EQ(f.view->SelectedImage(), 1);
    EXPECT_EQ(f.view->GetImageCount(), 2);
}

// Clear takes the images, their stored pictures and every bound component's records away in one
// step, on a view with a window and on one without: the callbacks see no deletion, but once the
// view is empty LastOp 0. The view then fills again from image 0.
TEST(MViewList, ClearEmptiesEverythingInOneStep)
{
    MViewOnForm f;
    auto windowless = std::make_unique<TKorvaneMView>(nullptr);
    for (TKorvaneMView* view : {f.view, windowless.get()}) {
        SCOPED_TRACE(view == f.view ? "on a form" : "without a window");
        auto bound = std::make_unique<TKorvaneMIO>(nullptr);
        bound->SetAttachedMView(view);
        TKorvaneMIO* own = view->GetKorvaneMIO();
        auto picture = Solid(6, 4, TRGB{10, 20, 30});
        for (int32_t i = 0; i < 5; ++i)
            view->SetKVBitmap(view->AppendImage(), picture.get());
        view->SetSelectedItem(2);
        std::vector<std::pair<int32_t, int32_t>> seen; // LastOp and the image count of each call
        const int32_t handle = view->RegisterBitmapChangeEvent([&seen, view](TObject*, bool destroying) {
            if (!destroying)
                seen.emplace_back(view->GetLastOp(), view->GetImageCount());
        });
        view->Clear();
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(seen.back(), std::make_pair(0, 0));
        EXPECT_EQ(std::count_if(seen.begin(), seen.end(), [](const auto& s) { return s.first != 0; }), 0);
        EXPECT_EQ(view->GetImageCount(), 0);
        EXPECT_EQ(view->SelectedImage(), -1);
        EXPECT_EQ(own->GetParamsCount(), 0);
        EXPECT_EQ(bound->GetParamsCount(), 0);
        view->RemoveBitmapChangeEvent(handle);

        view->SetKVBitmap(view->AppendImage(), picture.get());
        EXPECT_EQ(StoredColour(view, 0).g, 20);
        ASSERT_EQ(bound->GetParamsCount(), 1);
        EXPECT_EQ(bound->GetParams(0)->GIF_ImageIndex, 0);
    }
}

TEST(MViewList, SelectionFollowsInsertsDeletesAndMoves)
{
    MViewOnForm f;
    for (int32_t i = 0; i < 5; ++i)
        f.view->AppendImage();
    EXPECT_EQ(f.view->SelectedImage(), 4); // InsertImage selects the new entry
    f.view->InsertImageEx(0);
    f.view->SetImageDelayTime(5, 55);
    EXPECT_EQ(f.view->SelectedImage(), 5); // the same image stays selected
    // Deleting the selected last image selects the new last one.
    f.view->DeleteImage(5);
    EXPECT_EQ(f.view->SelectedImage(), 4);
    // Deleting an image before the selection keeps the same image selected.
    f.view->SetImageDelayTime(4, 44);
    f.view->DeleteImage(1);
    EXPECT_EQ(f.view->SelectedImage(), 3);
    EXPECT_EQ(f.view->GetImageDelayTime(3), 44);
    // Moving keeps the selected image selected wherever it goes.
    f.view->MoveImage(3, 0);
    EXPECT_EQ(f.view->SelectedImage(), 0);
    EXPECT_EQ(f.view->GetImageDelayTime(0), 44);
    f.view->MoveImage(0, 99);
    EXPECT_EQ(f.view->SelectedImage(), 3);
    EXPECT_EQ(f.view->GetImageDelayTime(3), 44);
    f.view->Clear();
    EXPECT_EQ(f.view->GetImageCount(), 0);
    EXPECT_EQ(f.view->SelectedImage(), -1);
}

// The texts of an image take the view's font and background of when the image was inserted,
// even when first asked for after the view changed them; each is one object, however often asked.
TEST(MViewList, TextsKeepTheFontAndBackgroundOfTheirInsertion)
{
    MViewOnForm f;
    f.view->Font()->SetName("Courier New");
    f.view->Font()->SetHeight(-20);
    f.view->SetBackGround(clYellow);
    f.view->AppendImage();
    f.view->Font()->SetName("Arial");
    f.view->AppendImage();
    f.view->SetBackGround(clAqua);
    f.view->AppendImage();
    f.view->Font()->SetHeight(-9);
    const struct
    {
        const char* Font;
        TColor Background;
    } inserted[] = {{"Courier New", clYellow}, {"Arial", clYellow}, {"Arial", clAqua}};
    using TGetText = TKVMText* (TKorvaneMView::*)(int32_t);
    const std::pair<TGetText, TKVMTextPos> texts[] = {{&TKorvaneMView::GetImageTopText, kvmtpTop},
                                                      {&TKorvaneMView::GetImageBottomText, kvmtpBottom},
                                                      {&TKorvaneMView::GetImageInfoText, kvmtpInfo}};
    for (int32_t i = 0; i < 3; ++i) {
        for (const auto& [get, position] : texts) {
            SCOPED_TRACE(testing::Message() << "image " << i << " text " << int(position));
            TKVMText* text = (f.view->*get)(i);
            ASSERT_NE(text, nullptr);
            EXPECT_EQ(text->Position(), position);
            EXPECT_EQ(text->Font()->Name(), inserted[i].Font);
            EXPECT_EQ(text->Font()->Height(), -20);
            EXPECT_EQ(text->Background, inserted[i].Background);
            EXPECT_EQ((f.view->*get)(i), text);
        }
    }
}

TEST(MViewStore, ThumbModeSizesAndPixelFormats)
{
    struct Case
    {
        int32_t w, h;
        bool enlarge;
        TKVStoreType store;
        int32_t storedW, storedH;
    };
    const Case cases[] = {
        {50, 20, true, kvtThumb, 100, 40},      {50, 20, false, kvtThumb, 50, 20},
        {400, 100, true, kvtThumb, 100, 25},    {600, 400, true, kvtThumb, 100, 66},
        {1411, 1411, true, kvtThumb, 100, 100}, {400, 100, true, kvtNormal, 400, 100},
        {1, 300, true, kvtThumb, 1, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << " x " << c.h << " store " << int(c.store));
        MViewOnForm f;
        f.view->SetStoreType(c.store);
        f.view->SetEnableResamplingOnMinor(c.enlarge);
        f.view->AppendImage();
        auto b = Solid(c.w, c.h, TRGB{10, 20, 30});
        f.view->SetKVBitmap(0, b.get());
        EXPECT_EQ(f.view->GetImageWidth(0), c.storedW);
        EXPECT_EQ(f.view->GetImageHeight(0), c.storedH);
        EXPECT_EQ(f.view->GetImageOriginalWidth(0), c.w);
        EXPECT_EQ(f.view->GetImageOriginalHeight(0), c.h);
    }
    // Grey, palette and 16-bit pictures come back with their colours, in both store types.
    for (TKVStoreType store : {kvtNormal, kvtThumb}) {
        for (TKVPixelFormat format : {kv8g, kv8p, kv16g}) {
            SCOPED_TRACE(testing::Message() << "format " << int(format) << " store " << int(store));
            MViewOnForm f;
            f.view->SetStoreType(store);
            f.view->AppendImage();
            auto b = Solid(8, 6, TRGB{90, 90, 90}, format);
            f.view->SetKVBitmap(0, b.get());
            EXPECT_EQ(f.view->GetImageBitCount(0), 24);
            const TRGB c = StoredColour(f.view, 0);
            EXPECT_NEAR(c.r, 90, 1);
            EXPECT_NEAR(c.g, 90, 1);
            EXPECT_NEAR(c.b, 90, 1);
        }
    }
}

TEST(MViewStore, EdgeSizedPicturesAndRectangles)
{
    MViewOnForm f;
    f.view->SetStoreType(kvtThumb);
    f.view->AppendImage();
    f.view->AppendImage();
    TKVBitmap empty;
    f.view->SetKVBitmap(0, &empty); // 0 x 0: the cell size, nothing read
    EXPECT_EQ(f.view->GetImageWidth(0), 100);
    auto tall = Solid(1, 65536, TRGB{1, 2, 3});
    f.view->SetKVBitmap(1, tall.get());
    EXPECT_EQ(f.view->GetImageWidth(1), 1);
    EXPECT_EQ(f.view->GetImageHeight(1), 100);
    f.Paint();
    // A rectangle is clamped to the bitmap.
    TBitmap src;
    src.SetPixelFormat(pf24bit);
    src.SetSize(30, 20);
    f.view->SetStoreType(kvtNormal);
    f.view->SetImageRect(0, &src, 10, -5, 500, 9);
    EXPECT_EQ(f.view->GetImageWidth(0), 20);
    EXPECT_EQ(f.view->GetImageHeight(0), 10);
    EXPECT_EQ(f.view->GetImageOriginalWidth(0), 30);
}

TEST(MViewParams, RecordsFollowTheList)
{
    MViewOnForm f;
    for (int32_t i = 0; i < 3; ++i)
        f.view->AppendImage();
    TKorvaneMIO* mio = f.view->GetKorvaneMIO();
    ASSERT_EQ(mio->GetParamsCount(), 3);
    mio->GetParams(2)->Width = 222;
    mio->GetParams(1)->Width = 111;
    // An insert copies the record at its place; a delete removes the record; the GIF and TIFF
    // indexes stay equal to the positions.
    f.view->InsertImageEx(1);
    ASSERT_EQ(mio->GetParamsCount(), 4);
    EXPECT_EQ(mio->GetParams(1)->Width, 111);
    EXPECT_EQ(mio->GetParams(2)->Width, 111);
    EXPECT_EQ(mio->GetParams(3)->Width, 222);
    f.view->DeleteImage(2);
    ASSERT_EQ(mio->GetParamsCount(), 3);
    EXPECT_EQ(mio->GetParams(2)->Width, 222);
    for (int32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(mio->GetParams(i)->GIF_ImageIndex, i);
        EXPECT_EQ(mio->GetParams(i)->TIFF_ImageIndex, i);
    }
    EXPECT_EQ(mio->GetParams(3), nullptr);
    EXPECT_EQ(mio->GetParams(-1), nullptr);
    mio->GetParams(0)->JPEG_Quality = 33;
    mio->DuplicateCompressionInfo();
    EXPECT_EQ(mio->GetParams(2)->JPEG_Quality, 33);
    f.view->Clear();
    EXPECT_EQ(mio->GetParamsCount(), 0);

    // Another component bound to the view catches up with its images; another view class is
    // refused; the view going away unbinds it.
    auto other = std::make_unique<TKorvaneMIO>(nullptr);
    f.view->AppendImage();
    other->SetAttachedMView(f.view);
    EXPECT_EQ(other->GetParamsCount(), 1);
    auto plainView = std::make_unique<TKVView>(nullptr);
    EXPECT_THROW(other->SetAttachedMView(plainView.get()), EInvalidCast);
    f.form.reset();
    EXPECT_EQ(other->AttachedMView(), nullptr);
}

// A move takes the image's record along in every component bound to the view, at once: also
// while painting is locked and the callbacks stay silent. A component bound elsewhere or freed
// is no longer told.
TEST(MViewParams, RecordsMoveWithTheirImagesInEveryBoundComponent)
{
    MViewOnForm f, g;
    for (int32_t i = 0; i < 4; ++i) {
        f.view->AppendImage();
        g.view->AppendImage();
        f.view->SetImageDelayTime(i, i);
    }
    auto placed = std::make_unique<TKorvaneMIO>(nullptr);
    auto freed = std::make_unique<TKorvaneMIO>(nullptr);
    auto elsewhere = std::make_unique<TKorvaneMIO>(nullptr);
    TKorvaneMIO* own = f.view->GetKorvaneMIO();
    for (TKorvaneMIO* mio : {placed.get(), freed.get(), elsewhere.get()})
        mio->SetAttachedMView(f.view);
    elsewhere->SetAttachedMView(g.view);
    freed.reset();
    // Record i names image i by its width, as the image's delay does.
    for (TKorvaneMIO* mio : {own, placed.get(), elsewhere.get()})
        for (int32_t i = 0; i < 4; ++i)
            mio->GetParams(i)->Width = i;
    const auto widths = [](TKorvaneMIO* mio) {
        std::vector<int32_t> w;
        for (int32_t i = 0; i < mio->GetParamsCount(); ++i)
            w.push_back(mio->GetParams(i)->Width);
        return w;
    };
    const struct
    {
        int32_t from, to;
        std::vector<int32_t> order;
    } moves[] = {
        {0, 2, {1, 2, 0, 3}},  {3, 0, {3, 1, 2, 0}}, {1, 99, {3, 2, 0, 1}}, {2, 2, {3, 2, 0, 1}},
        {-1, 0, {3, 2, 0, 1}}, {4, 0, {3, 2, 0, 1}}, {0, -1, {3, 2, 0, 1}},
    };
    f.view->Deselect();
    OpLog log(f.view);
    f.view->LockPaint();
    for (const auto& m : moves) {
        SCOPED_TRACE(std::to_string(m.from) + " to " + std::to_string(m.to));
        f.view->MoveImage(m.from, m.to);
        std::vector<int32_t> delays;
        for (int32_t i = 0; i < f.view->GetImageCount(); ++i)
            delays.push_back(f.view->GetImageDelayTime(i));
        EXPECT_EQ(delays, m.order);
        EXPECT_EQ(widths(own), m.order);
        EXPECT_EQ(widths(placed.get()), m.order);
    }
    EXPECT_TRUE(log.ops.empty());
    f.view->UnLockPaint();
    EXPECT_EQ(widths(elsewhere.get()), (std::vector<int32_t>{0, 1, 2, 3}));
    for (int32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(own->GetParams(i)->GIF_ImageIndex, i);
        EXPECT_EQ(placed->GetParams(i)->TIFF_ImageIndex, i);
    }
}

TEST(MViewStore, HundredThousandEntries)
{
    MViewOnForm f;
    f.view->SetGridWidth(-1);
    f.view->LockPaint();
    for (int32_t i = 0; i < 100000; ++i)
        f.view->InsertImageEx(i);
    f.view->UnLockPaint();
    EXPECT_EQ(f.view->GetImageCount(), 100000);
    EXPECT_EQ(f.view->GetImageY(99999), 4 + 104 * (99999 / 4));
    f.view->SetViewY(f.view->GetMaximumViewY());
    f.Paint();
    f.view->DeleteImage(0);
    EXPECT_EQ(f.view->GetImageCount(), 99999);
}

} // namespace
