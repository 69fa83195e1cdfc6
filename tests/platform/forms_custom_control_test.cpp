// Custom-painted controls: painting into the front image, marked areas and erasing, window scroll
// bars and their messages, mouse, wheel and key input, the caret and cursors.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/forms/forms.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/gdi.h"

namespace {

// Records what reaches it and paints its client area in one colour.
class TProbe : public TCustomControl
{
public:
    using TCustomControl::TCustomControl;

    TColor Fill = clRed;
    std::vector<TRect> Paints;
    std::vector<std::pair<uint16_t, uint16_t>> VScroll; // code, position
    std::vector<std::string> Input;

    void Dispatch(TMessage& Message) override
    {
        if (Message.Msg == WM_VSCROLL) {
            VScroll.emplace_back(LOWORD(Message.WParam), HIWORD(Message.WParam));
            if (LOWORD(Message.WParam) == SB_LINEDOWN) {
                SetScrollPos(SB_VERT, GetScrollPos(SB_VERT) + 1, true);
            }
            return;
        }
        TCustomControl::Dispatch(Message);
    }

protected:
    void Paint() override
    {
        Paints.push_back(Canvas()->ClipRect());
        Canvas()->Brush()->SetColor(Fill);
        Canvas()->FillRect(ClientRect());
        TCustomControl::Paint();
    }
    void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override
    {
        Input.push_back("down " + std::to_string(Button) + " " + std::to_string(X) + "," + std::to_string(Y) +
                        ((Shift & ssDouble) ? " double" : ""));
        TCustomControl::MouseDown(Button, Shift, X, Y);
    }
    void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override
    {
        Input.push_back("up " + std::to_string(X) + "," + std::to_string(Y));
        TCustomControl::MouseUp(Button, Shift, X, Y);
    }
    void Click() override
    {
        Input.push_back("click");
        TCustomControl::Click();
    }
    void DblClick() override
    {
        Input.push_back("dblclick");
        TCustomControl::DblClick();
    }
};

class CustomControl : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Form = new TForm(nullptr);
        Form->AfterConstruction();
        Form->SetBounds(20, 20, 300, 200);
        Probe = new TProbe(Form);
        Probe->SetParent(Form);
        Probe->SetBounds(10, 10, 120, 80);
        Form->Show();
    }
    void TearDown() override
    {
        Form->Hide();
        Form->Free();
    }

    TColor At(int32_t X, int32_t Y) const { return Probe->FrontImage()->Canvas()->Pixels(X, Y); }

    TForm* Form = nullptr;
    TProbe* Probe = nullptr;
};

} // namespace

TEST_F(CustomControl, PaintLandsInTheFrontImageOfTheClientSize)
{
    Probe->Repaint();
    ASSERT_FALSE(Probe->Paints.empty());
    EXPECT_EQ(Probe->FrontImage()->Width(), 120);
    EXPECT_EQ(Probe->FrontImage()->Height(), 80);
    EXPECT_EQ(Probe->FrontImage()->PixelFormat(), pf24bit);
    EXPECT_EQ(At(0, 0), clRed);
    EXPECT_EQ(At(119, 79), clRed);
    Probe->SetBounds(10, 10, 60, 50);
    EXPECT_EQ(Probe->FrontImage()->Width(), 60);
    EXPECT_EQ(Probe->FrontImage()->Height(), 50);
    EXPECT_FALSE(Probe->UpdateRect().IsEmpty()) << "a resized control is marked for painting";
}

TEST_F(CustomControl, OnlyTheMarkedAreaIsPaintedAndThePlatformPaintsItToo)
{
    Probe->Repaint();
    Probe->Fill = clBlue;
    Probe->Paints.clear();
    const TRect part{20, 10, 40, 30};
    Probe->InvalidateRect(&part, false);
    EXPECT_EQ(Probe->UpdateRect(), part);
    Probe->Update();
    ASSERT_EQ(Probe->Paints.size(), 1u);
    EXPECT_EQ(Probe->Paints[0], part) << "Paint runs clipped to the marked area";
    EXPECT_EQ(At(25, 15), clBlue);
    EXPECT_EQ(At(45, 15), clRed);
    EXPECT_TRUE(Probe->UpdateRect().IsEmpty());
    Probe->Update();
    EXPECT_EQ(Probe->Paints.size(), 1u) << "nothing marked, nothing painted";

    Probe->Fill = clLime;
    Probe->Invalidate();
    ASSERT_TRUE(Simulate::WaitUntil([&] { return At(60, 40) == clLime; }))
        << "the platform paints a marked, visible control by itself";
}

TEST_F(CustomControl, ErasingFillsWithTheColourUnlessTheControlIsOpaque)
{
    auto* plain = new TCustomControl(Form);
    plain->SetParent(Form);
    plain->SetColor(clYellow);
    std::vector<TColor> seenByPaint;
    plain->OnPaint = [&](TObject*) { seenByPaint.push_back(plain->FrontImage()->Canvas()->Pixels(5, 5)); };
    plain->Canvas()->SetPixels(5, 5, clBlack);
    const TRect dot{5, 5, 6, 6};
    plain->InvalidateRect(&dot, true);
    plain->Update();
    plain->Canvas()->SetPixels(5, 5, clBlack);
    plain->InvalidateRect(&dot, false);
    plain->Update();
    plain->SetControlStyle(plain->ControlStyle() | csOpaque);
    plain->Repaint();
    EXPECT_EQ(seenByPaint, (std::vector<TColor>{clYellow, clBlack, clBlack}));
}

TEST_F(CustomControl, DrawingOutsidePaintLandsInTheFrontImage)
{
    Probe->Repaint();
    TCanvas* canvas = Probe->Canvas();
    canvas->Pen()->SetMode(pmXor);
    canvas->Pen()->SetColor(clWhite);
    canvas->Brush()->SetStyle(bsClear);
    canvas->Rectangle(10, 10, 30, 30);
    EXPECT_EQ(At(10, 10), TColor(0xFFFF00)) << "red XOR white";
    EXPECT_EQ(At(20, 20), clRed);
    canvas->Rectangle(10, 10, 30, 30);
    EXPECT_EQ(At(10, 10), clRed) << "a second XOR rubber band restores the pixels";
}

TEST_F(CustomControl, ScrollBarsTakeTheirRoomFromTheClientArea)
{
    const int32_t extent = GetSystemMetrics(SM_CXVSCROLL);
    ASSERT_GT(extent, 0);
    std::vector<std::pair<int32_t, int32_t>> sizes;
    Probe->OnResize = [&](TObject*) { sizes.emplace_back(Probe->ClientWidth(), Probe->ClientHeight()); };
    TScrollInfo info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMin = 0;
    info.nMax = 65535;
    info.nPage = 10000;
    info.nPos = 70000;
    EXPECT_EQ(Probe->SetScrollInfo(SB_VERT, info, true), 65535 - 9999) << "positions stop at the last page";
    EXPECT_TRUE(Probe->ScrollBarVisible(SB_VERT));
    EXPECT_EQ(Probe->ClientWidth(), 120 - extent);
    EXPECT_EQ(Probe->FrontImage()->Width(), 120 - extent);
    EXPECT_EQ(sizes, (std::vector<std::pair<int32_t, int32_t>>{{120 - extent, 80}}));
    Probe->ShowScrollBar(SB_HORZ, true);
    EXPECT_EQ(Probe->ClientHeight(), 80 - extent);
    Probe->ShowScrollBar(SB_BOTH, false);
    EXPECT_EQ(Probe->ClientWidth(), 120);

    // An empty range hides the bar, unless asked to keep it (disabled).
    Probe->ShowScrollBar(SB_VERT, true);
    TScrollInfo empty;
    empty.fMask = SIF_RANGE | SIF_DISABLENOSCROLL;
    Probe->SetScrollInfo(SB_VERT, empty, true);
    EXPECT_TRUE(Probe->ScrollBarVisible(SB_VERT));
    empty.fMask = SIF_RANGE;
    Probe->SetScrollInfo(SB_VERT, empty, true);
    EXPECT_FALSE(Probe->ScrollBarVisible(SB_VERT));

    Probe->SetBorderStyle(bsSingle);
    EXPECT_EQ(Probe->ClientWidth(), 116) << "a single border is a two-pixel edge";
    EXPECT_EQ(Probe->Width(), 120);
}

TEST_F(CustomControl, TheUsersScrollingArrivesAsMessages)
{
    TScrollInfo info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMax = 100;
    info.nPage = 20;
    info.nPos = 10;
    Probe->SetScrollInfo(SB_VERT, info, true);
    Simulate::Scroll(Probe, SB_VERT, SB_LINEDOWN);
    EXPECT_EQ(Probe->GetScrollPos(SB_VERT), 11) << "the control moved the thumb itself";
    Simulate::Scroll(Probe, SB_VERT, SB_PAGEUP);
    EXPECT_EQ(Probe->GetScrollPos(SB_VERT), 11) << "a code the control ignores leaves the thumb";
    Simulate::Scroll(Probe, SB_VERT, SB_THUMBPOSITION, 42);
    using Sent = std::pair<uint16_t, uint16_t>;
    const std::vector<Sent> expected{{SB_LINEDOWN, 10},  {SB_ENDSCROLL, 11},  {SB_PAGEUP, 11},
                                     {SB_ENDSCROLL, 11}, {SB_THUMBTRACK, 42}, {SB_THUMBPOSITION, 42},
                                     {SB_ENDSCROLL, 11}};
    EXPECT_EQ(Probe->VScroll, expected);
    TScrollInfo read;
    read.fMask = SIF_ALL;
    ASSERT_TRUE(Probe->GetScrollInfo(SB_VERT, read));
    EXPECT_EQ(read.nTrackPos, 42);
    EXPECT_EQ(read.nPos, 11);
    EXPECT_EQ(read.nPage, 20u);
}

TEST_F(CustomControl, MouseInputArrivesInClientCoordinates)
{
    Simulate::Click(Probe, 30, 20);
    Simulate::DoubleClick(Probe, 31, 21);
    Simulate::MouseDown(Probe, mbRight, 5, 6);
    Simulate::MouseUp(Probe, mbRight, 5, 6);
    const std::vector<std::string> expected{"down 0 30,20", "click",      "up 30,20", "down 0 31,21",
                                            "click",        "up 31,21",   "dblclick", "down 0 31,21 double",
                                            "up 31,21",     "down 1 5,6", "up 5,6"};
    EXPECT_EQ(Probe->Input, expected);
    Probe->Input.clear();
    Simulate::MouseDown(Probe, mbLeft, 10, 10);
    Simulate::MouseUp(Probe, mbLeft, 200, 10);
    EXPECT_EQ(Probe->Input, (std::vector<std::string>{"down 0 10,10", "up 200,10"}))
        << "releasing outside the control is no click";
    std::vector<TPoint> moves;
    Probe->OnMouseMove = [&](TObject*, TShiftState, int32_t x, int32_t y) { moves.push_back({x, y}); };
    Simulate::MouseMove(Probe, 7, 8);
    EXPECT_EQ(moves, (std::vector<TPoint>{{7, 8}}));
}

TEST_F(CustomControl, TheWheelArrivesAsAMessageWithScreenCoordinates)
{
    class TWheel : public TCustomControl
    {
    public:
        using TCustomControl::TCustomControl;
        std::vector<TMessage> Wheels;
        void Dispatch(TMessage& Message) override
        {
            if (Message.Msg == WM_MOUSEWHEEL) {
                Wheels.push_back(Message);
            }
            TCustomControl::Dispatch(Message);
        }
    };
    auto* wheel = new TWheel(Form);
    wheel->SetParent(Form);
    wheel->SetBounds(150, 10, 100, 100);
    int32_t delta = 0;
    TPoint where;
    wheel->OnMouseWheel = [&](TObject*, TShiftState, int32_t d, TPoint pos, bool& handled) {
        delta = d;
        where = pos;
        handled = true;
    };
    Simulate::Wheel(wheel, 12, 34, -120, ssCtrl);
    ASSERT_EQ(wheel->Wheels.size(), 1u);
    const TPoint screen = wheel->ClientToScreen(TPoint{12, 34});
    EXPECT_EQ(static_cast<int16_t>(HIWORD(wheel->Wheels[0].WParam)), -120);
    EXPECT_TRUE(LOWORD(wheel->Wheels[0].WParam) & MK_CONTROL);
    EXPECT_EQ(static_cast<int16_t>(LOWORD(uintptr_t(wheel->Wheels[0].LParam))), screen.X);
    EXPECT_EQ(static_cast<int16_t>(HIWORD(uintptr_t(wheel->Wheels[0].LParam))), screen.Y);
    EXPECT_EQ(delta, -120);
    EXPECT_EQ(where, screen);
    EXPECT_EQ(wheel->ScreenToClient(screen), (TPoint{12, 34}));
}

TEST_F(CustomControl, KeysReachTheFocusedControl)
{
    std::vector<std::string> keys;
    Probe->OnKeyDown = [&](TObject*, uint16_t& key, TShiftState shift) {
        keys.push_back("down " + std::to_string(key) + ((shift & ssShift) ? " shift" : ""));
    };
    Probe->OnKeyPress = [&](TObject*, char& key) { keys.push_back(std::string("press ") + key); };
    Probe->OnKeyUp = [&](TObject*, uint16_t& key, TShiftState) {
        keys.push_back("up " + std::to_string(key));
    };
    Probe->OnEnter = [&](TObject*) { keys.push_back("enter"); };
    Probe->OnExit = [&](TObject*) { keys.push_back("exit"); };
    Simulate::Key(Probe, 'A', ssShift);
    Simulate::Key(Probe, VK_LEFT);
    EXPECT_TRUE(Probe->Focused());
    auto* edit = new TEdit(Form);
    edit->SetParent(Form);
    Simulate::Focus(edit);
    EXPECT_FALSE(Probe->Focused());
    EXPECT_EQ(keys, (std::vector<std::string>{"enter", "down 65 shift", "press A", "up 65", "down 37",
                                              "up 37", "exit"}));
}

TEST_F(CustomControl, TheCaretShowsOverTheFrontImageNotInIt)
{
    Probe->Repaint();
    EXPECT_FALSE(Probe->SetCaretPos(3, 3)) << "no caret yet";
    ASSERT_TRUE(Probe->CreateCaret(2, 14));
    EXPECT_FALSE(Probe->CaretVisible()) << "a new caret starts hidden";
    Probe->ShowCaret();
    Probe->SetCaretPos(4, 5);
    EXPECT_TRUE(Probe->CaretVisible());
    EXPECT_EQ(Probe->CaretPos(), (TPoint{4, 5}));
    Probe->HideCaret();
    Probe->HideCaret();
    Probe->ShowCaret();
    EXPECT_FALSE(Probe->CaretVisible()) << "hiding nests";
    Probe->ShowCaret();
    EXPECT_TRUE(Probe->CaretVisible());
    Simulate::WaitUntil([] { return false; }, 30);
    EXPECT_EQ(At(4, 5), clRed);
    auto* other = new TCustomControl(Form);
    other->CreateCaret(1, 1);
    EXPECT_FALSE(Probe->CaretVisible()) << "one caret for the whole application";
    EXPECT_TRUE(other->DestroyCaret());
}

TEST_F(CustomControl, CursorsFromMasksAndStandardShapes)
{
    TBitmap andMask;
    TBitmap xorMask;
    for (TBitmap* mask : {&andMask, &xorMask}) {
        mask->SetPixelFormat(pf1bit);
        mask->SetSize(32, 32);
    }
    EXPECT_TRUE(Screen->SetCursorShape(1785, andMask, xorMask, 16, 15));
    EXPECT_TRUE(Screen->HasCursorShape(1785));
    Probe->SetCursor(1785);
    EXPECT_EQ(Probe->Cursor(), 1785);
    TBitmap wrongSize;
    wrongSize.SetPixelFormat(pf1bit);
    wrongSize.SetSize(16, 16);
    EXPECT_FALSE(Screen->SetCursorShape(1786, andMask, wrongSize, 0, 0));
    TBitmap colour;
    colour.SetPixelFormat(pf24bit);
    colour.SetSize(32, 32);
    EXPECT_FALSE(Screen->SetCursorShape(1786, colour, xorMask, 0, 0));
    EXPECT_FALSE(Screen->SetCursorShape(crCross, andMask, xorMask, 0, 0)) << "standard shapes stay";
    Screen->SetCursor(crHourGlass);
    EXPECT_EQ(Screen->Cursor(), crHourGlass);
    Screen->SetCursor(crDefault);
    Probe->SetCursor(crHandPoint);
}

TEST_F(CustomControl, HorizontalBarsAndTheEndsOfTheRange)
{
    class THorizontal : public TCustomControl
    {
    public:
        using TCustomControl::TCustomControl;
        std::vector<std::pair<uint16_t, uint16_t>> Sent;
        void Dispatch(TMessage& Message) override
        {
            if (Message.Msg == WM_HSCROLL) {
                Sent.emplace_back(LOWORD(Message.WParam), HIWORD(Message.WParam));
                return;
            }
            TCustomControl::Dispatch(Message);
        }
    };
    auto* control = new THorizontal(Form);
    control->SetParent(Form);
    control->SetScrollRange(SB_HORZ, 0, 500, true);
    EXPECT_TRUE(control->ScrollBarVisible(SB_HORZ));
    EXPECT_EQ(control->SetScrollPos(SB_HORZ, 900, true), 0) << "the previous position";
    EXPECT_EQ(control->GetScrollPos(SB_HORZ), 500);
    Simulate::Scroll(control, SB_HORZ, SB_TOP);
    Simulate::Scroll(control, SB_HORZ, SB_BOTTOM);
    using Sent = std::pair<uint16_t, uint16_t>;
    EXPECT_EQ(control->Sent,
              (std::vector<Sent>{{SB_TOP, 500}, {SB_ENDSCROLL, 500}, {SB_BOTTOM, 500}, {SB_ENDSCROLL, 500}}));
    EXPECT_FALSE(control->SetScrollRange(SB_CTL, 0, 1, true));
}

TEST_F(CustomControl, ACapturedControlGetsTheMouseUntilReleased)
{
    Probe->SetMouseCapture(true);
    EXPECT_TRUE(Probe->MouseCapture());
    auto* other = new TCustomControl(Form);
    other->SetParent(Form);
    other->SetMouseCapture(true);
    EXPECT_FALSE(Probe->MouseCapture()) << "one capture for the whole application";
    other->SetMouseCapture(false);
    EXPECT_FALSE(other->MouseCapture());
    other->SetMouseCapture(true);
    other->Free();
    Probe->SetMouseCapture(true);
    EXPECT_TRUE(Probe->MouseCapture()) << "a freed control gives the capture up";
    Probe->SetMouseCapture(false);
}

TEST(FormPainting, AFormWithOnPaintDrawsBehindItsControlsAndTakesTheMouse)
{
    TForm form(nullptr);
    form.SetBounds(0, 0, 200, 120);
    auto* button = new TButton(&form);
    button->SetParent(&form);
    button->SetBounds(10, 60, 80, 25);
    int32_t paints = 0;
    form.OnPaint = [&](TObject*) {
        ++paints;
        form.Canvas()->Brush()->SetColor(clRed);
        form.Canvas()->FillRect(TRect{0, 0, 50, 50});
    };
    std::vector<TPoint> moves;
    form.OnMouseMove = [&](TObject*, TShiftState, int32_t X, int32_t Y) { moves.push_back(TPoint{X, Y}); };
    int32_t clicks = 0;
    form.OnClick = [&](TObject*) { ++clicks; };
    form.Show();
    form.Update();
    EXPECT_GE(paints, 1);
    ASSERT_EQ(form.FrontImage()->Width(), form.ClientWidth());
    EXPECT_EQ(form.FrontImage()->Canvas()->Pixels(10, 10), clRed);
    EXPECT_EQ(form.FrontImage()->Canvas()->Pixels(100, 10), ColorToRGB(form.Color()));

    Simulate::MouseMove(&form, 120, 30);
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0], (TPoint{120, 30}));
    Simulate::Click(&form, 120, 30);
    EXPECT_EQ(clicks, 1);
    // The button stays on top of the painted surface.
    int32_t buttonClicks = 0;
    button->OnClick = [&](TObject*) { ++buttonClicks; };
    Simulate::Click(button);
    EXPECT_EQ(buttonClicks, 1);
    EXPECT_EQ(clicks, 1);
    form.Hide();
}
