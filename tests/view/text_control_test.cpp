// The multi-font text control driven by simulated keys and clicks: shared formats, the clipboard
// blocks, line breaking, caret keys, font size steps and the font dialog.
#include "imaging/view/kvtextc.h"

#include "platform/forms/clipboard.h"
#include "platform/forms/form.h"
#include "platform/forms/scripted_dialogs.h"
#include "platform/forms/simulate.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

struct ControlOnForm
{
    std::unique_ptr<TForm> form = std::make_unique<TForm>(nullptr);
    TKVTextControl* control = nullptr;

    explicit ControlOnForm(int32_t width = 200, int32_t height = 80)
    {
        control = new TKVTextControl(form.get());
        control->SetParent(form.get());
        form->SetClientWidth(width + 20);
        form->SetClientHeight(height + 20);
        control->SetBounds(0, 0, width, height);
        control->Font()->SetHeight(-14);
        control->Init();
        form->Show();
        Simulate::Focus(control);
    }
    TKVTextLayout& layout() { return control->Layout(); }
    void paint()
    {
        control->Invalidate();
        control->PaintMarked();
    }
};

} // namespace

TEST(TextControl, CharactersShareFormatsUntilOneChanges)
{
    ControlOnForm f;
    Simulate::Type(f.control, "ab");
    ASSERT_EQ(f.control->Text(), "ab");
    ASSERT_EQ(f.layout().Memo.CharInfos.size(), 1u);
    EXPECT_EQ(f.layout().Memo.CharInfos[0].RefCount, 2);

    Simulate::Key(f.control, VK_LEFT, ssShift);
    Simulate::Key(f.control, 'B', ssCtrl);
    ASSERT_EQ(f.layout().Memo.CharInfos.size(), 2u);
    EXPECT_TRUE(f.layout().Memo.CharInfos[1].FontStyle.Contains(fsBold));
    EXPECT_EQ(f.layout().Memo.Formats, (std::vector<int32_t>{0, 1}));

    Simulate::Key(f.control, 'B', ssCtrl);
    EXPECT_EQ(f.layout().Memo.Formats, (std::vector<int32_t>{0, 0}));
    EXPECT_EQ(f.layout().Memo.CharInfos[0].RefCount, 2);
    EXPECT_EQ(f.layout().Memo.CharInfos[1].RefCount, 0);
    f.control->RemoveUnreferenced();
    EXPECT_EQ(f.layout().Memo.CharInfos.size(), 1u);

    // Backspace takes the selection, then the character before the caret.
    Simulate::Key(f.control, VK_BACK);
    EXPECT_EQ(f.control->Text(), "a");
    Simulate::Key(f.control, VK_RETURN);
    Simulate::Type(f.control, "c");
    EXPECT_EQ(f.control->Text(), "a\nc");
    Simulate::Key(f.control, VK_HOME, ssCtrl);
    Simulate::Key(f.control, VK_DELETE);
    EXPECT_EQ(f.control->Text(), "\nc");
    Simulate::Key(f.control, VK_INSERT);
    Simulate::Type(f.control, "xy");
    EXPECT_EQ(f.control->Text(), "xy");
}

TEST(TextControl, CopyPutsPlainTextAndFormatsAndPasteChecksTheBlock)
{
    ControlOnForm f;
    Simulate::Type(f.control, "x");
    Simulate::Key(f.control, VK_RETURN);
    Simulate::Type(f.control, "y");
    Simulate::Key(f.control, VK_HOME, ssCtrl | ssShift);
    ASSERT_TRUE(f.layout().HasSelection());
    Simulate::Key(f.control, 'C', ssCtrl);
    Clipboard()->Open();
    EXPECT_EQ(Clipboard()->AsText(), "x\r\ny");
    const std::vector<uint8_t> block = Clipboard()->GetAsBytes(Kvtextc::KVTEXTMEMOCLIPFORMAT);
    Clipboard()->Close();
    ASSERT_EQ(block.size(), 844u);
    EXPECT_EQ(std::string(block.begin(), block.begin() + 4), std::string("x\ny\0", 4));

    // Pasted back, every character keeps its own format.
    ControlOnForm g;
    Simulate::Key(g.control, 'V', ssCtrl);
    EXPECT_EQ(g.control->Text(), "x\ny");
    EXPECT_EQ(g.layout().Memo.Formats.size(), 3u);

    // A private block shorter than its characters need gives way to the plain text.
    Clipboard()->Open();
    Clipboard()->Clear();
    Clipboard()->SetAsBytes(Kvtextc::KVTEXTMEMOCLIPFORMAT, std::vector<uint8_t>{'a', 'b', 0, 1, 2, 3});
    Clipboard()->SetAsText("p\r\nq");
    Clipboard()->Close();
    ControlOnForm h;
    Simulate::Key(h.control, 'V', ssCtrl);
    EXPECT_EQ(h.control->Text(), "p\nq");
}

TEST(TextControl, LinesBreakAtSpacesOrWhereAWordNoLongerFits)
{
    ControlOnForm f(70, 200);
    Simulate::Type(f.control, "one two three four");
    f.paint();
    const auto& places = f.layout().Places();
    // Every visual line starts at x 0; "two" follows "one " on the first line.
    EXPECT_EQ(places[0].LineY, places[4].LineY);
    EXPECT_GT(places[8].LineY, places[0].LineY);
    EXPECT_EQ(places[8].X, 0);

    ControlOnForm narrow(60, 200);
    Simulate::Type(narrow.control, "abcdefghijklmnop");
    narrow.paint();
    const auto& p = narrow.layout().Places();
    int32_t lines = 1;
    for (size_t i = 1; i < p.size(); ++i) {
        if (p[i].LineY != p[i - 1].LineY) {
            EXPECT_EQ(p[i].X, 0);
            EXPECT_LE(p[i - 1].X + p[i - 1].Width, 60 - 2 - 2);
            ++lines;
        }
    }
    EXPECT_GT(lines, 2);

    // Narrower than any character: one character per line, and the layout ends.
    ControlOnForm thin(3, 400);
    Simulate::Type(thin.control, "wide");
    thin.paint();
    const auto& t = thin.layout().Places();
    for (size_t i = 0; i < t.size(); ++i)
        EXPECT_EQ(t[i].X, 0);
    EXPECT_LT(t[0].LineY, t[3].LineY);

    // Ctrl+Home then Shift+End selects the first visual line.
    Simulate::Key(f.control, VK_HOME, ssCtrl);
    f.paint();
    Simulate::Key(f.control, VK_END, ssShift);
    EXPECT_EQ(f.layout().SelStart, 0);
    EXPECT_EQ(f.layout().SelEnd, 7);
}

TEST(TextControl, FontSizeStepsAndDialogs)
{
    ControlOnForm f;
    struct Case
    {
        int32_t height;
        uint16_t key;
        int32_t expected;
    };
    for (const Case& c : {Case{-11, VK_F2, -12}, Case{11, VK_F2, 12}, Case{-11, VK_F1, -10},
                          Case{0, VK_F2, 1}, Case{1, VK_F1, 1}}) {
        f.layout().InsertionFormat.FontHeight = c.height;
        Simulate::Key(f.control, c.key, ssShift);
        EXPECT_EQ(f.layout().InsertionFormat.FontHeight, c.expected) << c.height;
    }

    TScriptedDialogService dialogs;
    dialogs.AnswerFont(TFontChoice{"Liberation Serif", -20, 1, 0x0000FF});
    Simulate::Type(f.control, "q");
    Simulate::Key(f.control, VK_LEFT, ssShift);
    Simulate::Key(f.control, 'F', ssCtrl);
    ASSERT_EQ(dialogs.CallsOf(dkChooseFont).size(), 1u);
    TKVCharInfo info;
    f.control->CopyCharInfoTo(0, info);
    EXPECT_EQ(info.FontName, "Liberation Serif");
    EXPECT_EQ(info.FontHeight, -20);
    EXPECT_TRUE(info.FontStyle.Contains(fsBold));
    EXPECT_EQ(info.FontColor, 0x0000FF);

    dialogs.AnswerColor(0x00FF00);
    Simulate::Key(f.control, 'G', ssCtrl);
    f.control->CopyCharInfoTo(0, info);
    EXPECT_EQ(info.BackColor, 0x00FF00);
    EXPECT_EQ(info.BrushStyle, bsSolid);

    // A locked font asks for neither dialog.
    f.control->SetFontLocked(true);
    Simulate::Key(f.control, 'F', ssCtrl);
    Simulate::Key(f.control, 'G', ssCtrl);
    EXPECT_EQ(dialogs.Calls().size(), 2u);
}

TEST(TextControl, ParagraphAlignmentShiftsLines)
{
    ControlOnForm f(202, 60);
    Simulate::Type(f.control, "abc");
    f.paint();
    const int32_t e = f.layout().Places()[2].X, w = f.layout().Places()[2].Width;
    EXPECT_EQ(f.layout().CaretPos().X, e + w);
    Simulate::Key(f.control, 'R', ssCtrl);
    f.paint();
    EXPECT_EQ(f.layout().CaretPos().X, 200 - e - w - 1 + e + w);
    Simulate::Key(f.control, 'E', ssCtrl);
    f.paint();
    EXPECT_EQ(f.layout().CaretPos().X, (200 - e - w) / 2 + e + w);
}

TEST(TextControl, StoredFormatsKeepTheirFieldsAndDropReservedBytes)
{
    TKVCharInfo info;
    info.RefCount = 3;
    info.FontName = "Arial";
    info.FontHeight = -13;
    info.FontStyle = {fsItalic, fsStrikeOut};
    info.FontColor = 0x123456;
    info.BackColor = 0x654321;
    info.BrushStyle = bsSolid;
    info.Align = kvjJustify;
    uint8_t stored[TKVCharInfo::StoredSize];
    info.Store(stored);
    EXPECT_EQ(stored[4], 5);
    EXPECT_EQ(stored[264], 0x0A);
    EXPECT_EQ(stored[265] | stored[266] | stored[267] | stored[278] | stored[279], 0);
    stored[266] = 0xEE;
    stored[279] = 0xEE;
    const TKVCharInfo back = TKVCharInfo::Load(stored);
    EXPECT_TRUE(back.SameFormat(info));
    EXPECT_EQ(back.RefCount, 3);
}
