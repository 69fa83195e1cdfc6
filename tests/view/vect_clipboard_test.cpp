// Copy, cut and paste of objects through the private clipboard format, and whole-layer undo:
// one snapshot per user action, the limit, and blocks that must paste nothing.
#include "tests/view/vect_test_support.h"

#include "platform/forms/clipboard.h"

#include <gtest/gtest.h>

using namespace vecttest;

namespace {

void PutBlock(const std::vector<uint8_t>& block)
{
    Clipboard()->Open();
    Clipboard()->Clear();
    Clipboard()->SetAsBytes(Kvvect::KVVECTCLIPFORMAT, block);
    Clipboard()->Close();
}

std::vector<uint8_t> TakeBlock()
{
    Clipboard()->Open();
    std::vector<uint8_t> block = Clipboard()->GetAsBytes(Kvvect::KVVECTCLIPFORMAT);
    Clipboard()->Close();
    return block;
}

} // namespace

TEST(VectClipboard, PasteOffsetsAndSelectsTheCopies)
{
    VectOnForm f;
    const int32_t line = f.Add(kvkLINE, 1, 2, 30, 40);
    f.vect->SetObjEndShape(line, kvsOUTARROW);
    const int32_t box = f.Add(kvkBOX, 50, 50, 60, 70);
    f.vect->AddSelObject(box);
    f.vect->AddSelObject(line);
    ASSERT_TRUE(f.vect->ObjCopyToClipboard());
    f.vect->UnSelAllObjects();
    f.vect->ObjPasteFromClipboard(10, 20);
    ASSERT_EQ(f.vect->ObjectsCount(), 4);
    ASSERT_EQ(f.vect->SelObjectsCount(), 2);
    // Selection order is kept: the box first.
    const TKVVObject& b = f.vect->Obj(f.vect->GetSelObjects(0));
    EXPECT_EQ((TRect{b.x1, b.y1, b.x2, b.y2}), (TRect{60, 70, 70, 90}));
    const TKVVObject& l = f.vect->Obj(f.vect->GetSelObjects(1));
    EXPECT_EQ((TRect{l.x1, l.y1, l.x2, l.y2}), (TRect{11, 22, 40, 60}));
    EXPECT_EQ(l.EndShape, kvsOUTARROW);
    // Pasting again replaces the selected copies.
    f.vect->ObjPasteFromClipboard(0, 0);
    EXPECT_EQ(f.vect->ObjectsCount(), 4);

    // Copy with nothing selected: a block holding only the count 0, whose paste removes the
    // selected objects and adds nothing.
    f.vect->UnSelAllObjects();
    f.vect->ObjCopyToClipboard();
    EXPECT_EQ(TakeBlock(), (std::vector<uint8_t>{0, 0, 0, 0}));
    f.vect->AddSelObject(line);
    f.vect->ObjPasteFromClipboard(0, 0);
    EXPECT_EQ(f.vect->ObjectsCount(), 3);
    EXPECT_FALSE(f.vect->IsLiveObject(line));
}

TEST(VectClipboard, PicturesTravelWithTheirObjects)
{
    VectOnForm f;
    TKVBitmap picture;
    viewtest::FillPattern(&picture, 6, 5);
    const int32_t h = f.Add(kvkBITMAP, 0, 0, 5, 4);
    f.vect->SetObjBitmap(h, &picture);
    const int32_t index = f.vect->Obj(h).BitmapIndex;
    f.vect->AddSelObject(h);
    f.vect->ObjCutToClipboard();
    EXPECT_EQ(f.vect->ObjectsCount(), 0);
    // An equal picture already stored is shared with the pasted one.
    const int32_t keep = f.Add(kvkBITMAP, 0, 0, 5, 4);
    f.vect->SetObjBitmap(keep, &picture);
    f.vect->ObjPasteFromClipboard(0, 0);
    ASSERT_EQ(f.vect->ObjectsCount(), 2);
    const int32_t pasted = f.vect->GetSelObjects(0);
    EXPECT_EQ(f.vect->Obj(pasted).BitmapIndex, f.vect->Obj(keep).BitmapIndex);
    EXPECT_EQ(f.vect->BitmapRefCount(f.vect->Obj(keep).BitmapIndex), 2);
    EXPECT_EQ(PictureDigest(f.vect->GetObjBitmap(pasted)), PictureDigest(&picture));
    (void)index;
}

TEST(VectClipboard, BadBlocksPasteNothingAndRemoveNothing)
{
    VectOnForm f;
    const int32_t a = f.Add(kvkLINE, 1, 2, 30, 40);
    const int32_t b = f.Add(kvkBITMAP, 0, 0, 5, 4);
    TKVBitmap picture;
    viewtest::FillPattern(&picture, 6, 5);
    f.vect->SetObjBitmap(b, &picture);
    f.vect->AddSelObject(a);
    f.vect->AddSelObject(b);
    f.vect->ObjCopyToClipboard();
    const std::vector<uint8_t> good = TakeBlock();
    ASSERT_GT(good.size(), 60u);
    const std::string before = Dump(f.vect);
    std::vector<std::vector<uint8_t>> bad = {
        {},
        {1, 0, 0},
        {0xFF, 0xFF, 0xFF, 0xFF},
        {0x10, 0, 0, 0},
        std::vector<uint8_t>(good.begin(), good.end() - 20), // the picture cut short
        std::vector<uint8_t>(good.begin(), good.begin() + 30),
    };
    std::vector<uint8_t> hugeName = good;
    hugeName[4 + 4 + 16 + 1 + 17] = 0xFF; // the name length of the first record
    hugeName[4 + 4 + 16 + 1 + 17 + 3] = 0x7F;
    bad.push_back(hugeName);
    for (size_t i = 0; i < bad.size(); ++i) {
        SCOPED_TRACE(i);
        PutBlock(bad[i]);
        f.vect->ObjPasteFromClipboard(5, 5);
        EXPECT_EQ(Dump(f.vect), before);
        EXPECT_EQ(f.vect->SelObjectsCount(), 2);
    }
}

TEST(VectUndo, OneSnapshotPerActionWithinTheLimit)
{
    VectOnForm f;
    f.vect->ObjAutoUndo = true;
    int32_t h[3];
    for (int i = 0; i < 3; ++i) {
        h[i] = f.Add(kvkBOX, i * 20, 0, i * 20 + 10, 10);
        f.vect->AddSelObject(h[i]);
    }
    const std::string three = Dump(f.vect);
    f.vect->ObjCutToClipboard();
    EXPECT_EQ(f.vect->ObjectsCount(), 0);
    EXPECT_EQ(f.vect->GetObjUndoCount(), 1);
    f.vect->ObjUndo();
    EXPECT_EQ(Dump(f.vect), three);
    // Undo twice gives the same state twice; the list is kept.
    f.vect->ObjUndo();
    EXPECT_EQ(Dump(f.vect), three);
    EXPECT_TRUE(f.vect->GetObjCanUndo());

    // The limit, and a limit below 1 counting as 1.
    f.vect->ObjAutoUndo = false;
    f.vect->ObjClearAllUndo();
    for (int32_t limit : {-3, 0, 1, 3}) {
        SCOPED_TRACE(limit);
        f.vect->ObjUndoLimit = limit;
        f.vect->ObjClearAllUndo();
        for (int i = 0; i < 5; ++i) {
            f.vect->SetObjID(f.vect->GetObjFromIndex(0), i);
            f.vect->ObjSaveUndo();
        }
        EXPECT_EQ(f.vect->GetObjUndoCount(), std::max(limit, 1));
        f.vect->ObjUndo();
        EXPECT_EQ(f.vect->GetObjID(f.vect->GetObjFromIndex(0)), 4);
        f.vect->ObjUndoAt(std::max(limit, 1) - 1);
        EXPECT_EQ(f.vect->GetObjID(f.vect->GetObjFromIndex(0)), 5 - std::max(limit, 1));
        f.vect->ObjUndoAt(99); // out of range: nothing
    }
    f.vect->ObjClearUndo();
    EXPECT_EQ(f.vect->GetObjUndoCount(), 2);
    f.vect->ObjClearAllUndo();
    EXPECT_FALSE(f.vect->GetObjCanUndo());
    f.vect->ObjUndo(); // nothing to undo
}
