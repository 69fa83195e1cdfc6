// The standard controls as the gallery's windows use them: which changes fire events, the spin
// edit's range rules, key filtering, lists and owner-drawn rows, headers, buttons, menus, layout
// and the font, colour and hint a control takes from its parent.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/forms/forms.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/picture.h"

namespace {

// A shown form that the controls of a test sit on; freed with everything on it.
class FormFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Form = new TForm(nullptr);
        Form->AfterConstruction();
        Form->SetBounds(10, 10, 400, 300);
        Form->Show();
    }
    void TearDown() override
    {
        Form->Hide();
        Form->Free();
    }
    template <class T> T* Add(int32_t Left = 0, int32_t Top = 0)
    {
        auto* control = new T(Form);
        control->SetParent(Form);
        control->SetLeft(Left);
        control->SetTop(Top);
        return control;
    }

    TForm* Form = nullptr;
};

// Its handlers share the count, so that one left on the form stays harmless when the fixture
// hides the form after the test's own objects are gone.
struct Counter
{
    std::shared_ptr<int> Shared = std::make_shared<int>(0);
    int& Count = *Shared;
    TNotifyEvent Handler()
    {
        return [count = Shared](TObject*) { ++*count; };
    }
};

} // namespace

using ChangeEvents = FormFixture;

TEST_F(ChangeEvents, EditFiresOnEveryChangeOfItsTextButNotForTheSameText)
{
    auto* edit = Add<TEdit>();
    Counter changes;
    std::vector<std::string> seen;
    edit->OnChange = [&](TObject*) {
        ++changes.Count;
        seen.push_back(edit->Text());
    };
    edit->SetText("/home/photos/");
    edit->SetText("/home/photos/");
    EXPECT_EQ(changes.Count, 1) << "the program's change fires, as the class library's edit does";
    Simulate::Retype(edit, "ab");
    EXPECT_EQ(edit->Text(), "ab");
    EXPECT_EQ(seen, (std::vector<std::string>{"/home/photos/", "a", "ab"}));
    EXPECT_TRUE(edit->Modified());
    // Undo takes back what was typed since the program set the text.
    edit->SetText("x");
    Simulate::Type(edit, "cd");
    edit->Undo();
    EXPECT_EQ(edit->Text(), "x");
    edit->SetBorderStyle(bsNone);
    EXPECT_EQ(edit->BorderStyle(), bsNone);
}

TEST_F(ChangeEvents, ComboFiresOnlyForTheUsersChoiceClickFirst)
{
    auto* combo = Add<TComboBox>();
    combo->SetStyle(csDropDownList);
    std::vector<std::string> events;
    combo->OnClick = [&](TObject*) { events.push_back("click " + combo->Text()); };
    combo->OnChange = [&](TObject*) { events.push_back("change " + combo->Text()); };
    combo->Items()->Add("Don't cahnge");
    combo->Items()->Add("Fit to 640x480");
    combo->Items()->Add("Fit to custom size ...");
    EXPECT_EQ(combo->ItemIndex(), -1) << "adding items chooses none";
    combo->SetItemIndex(0);
    combo->SetItemIndex(2);
    EXPECT_TRUE(events.empty());
    Simulate::Choose(combo, 1);
    EXPECT_EQ(combo->ItemIndex(), 1);
    EXPECT_EQ(events, (std::vector<std::string>{"click Fit to 640x480", "change Fit to 640x480"}));
    combo->SetItemIndex(7);
    EXPECT_EQ(combo->ItemIndex(), -1) << "an index out of range chooses none";
    EXPECT_EQ(combo->Text(), "");
}

TEST_F(ChangeEvents, CheckBoxClickComesFromTheUserOnly)
{
    auto* check = Add<TCheckBox>();
    check->SetCaption("Make equal");
    Counter clicks;
    check->OnClick = clicks.Handler();
    check->SetChecked(true);
    check->SetChecked(false);
    EXPECT_EQ(clicks.Count, 0);
    Simulate::Click(check, 5, check->ClientHeight() / 2);
    EXPECT_EQ(clicks.Count, 1);
    EXPECT_TRUE(check->Checked());
    Simulate::Key(check, VK_SPACE);
    EXPECT_EQ(clicks.Count, 2);
    EXPECT_FALSE(check->Checked());
}

TEST_F(ChangeEvents, TrackBarFiresWhenItsPositionChangesByEitherHand)
{
    auto* track = Add<TTrackBar>();
    track->SetRange(10, 100);
    track->SetPageSize(10);
    Counter changes;
    track->OnChange = changes.Handler();
    track->SetPosition(80);
    track->SetPosition(80);
    EXPECT_EQ(changes.Count, 1);
    track->SetPosition(500);
    EXPECT_EQ(track->Position(), 100) << "positions are clamped";
    EXPECT_EQ(changes.Count, 2);
    Simulate::Slide(track, 40);
    EXPECT_EQ(track->Position(), 40);
    EXPECT_EQ(changes.Count, 3);
    Simulate::Key(track, VK_NEXT);
    EXPECT_EQ(track->Position(), 50);
    EXPECT_EQ(changes.Count, 4);
}

using SpinEdit = FormFixture;

TEST_F(SpinEdit, TypedValuesOutsideTheRangeStayUntilSetOrLeft)
{
    auto* width = Add<TCSpinEdit>();
    width->SetMinValue(50);
    width->SetMaxValue(1000);
    width->SetValue(150);
    std::vector<int32_t> seen;
    width->OnChange = [&](TObject*) { seen.push_back(width->Value()); };
    Simulate::Retype(width, "5000");
    EXPECT_EQ(width->Value(), 5000) << "a typed value counts as typed";
    EXPECT_EQ(width->Text(), "5000");
    EXPECT_EQ(seen.back(), 5000);
    width->SetValue(width->Value());
    EXPECT_EQ(width->Text(), "1000") << "a value set by the program is clamped";
    EXPECT_EQ(seen.back(), 1000);
    Simulate::Retype(width, "7");
    auto* other = Add<TEdit>(0, 40);
    Simulate::Focus(other);
    EXPECT_EQ(width->Text(), "50") << "leaving the field clamps what was typed";
    EXPECT_EQ(seen.back(), 50);
}

TEST_F(SpinEdit, TextThatIsNoWholeNumberReadsAsTheMinimumAndShowsIt)
{
    auto* height = Add<TCSpinEdit>();
    height->SetMinValue(50);
    height->SetMaxValue(1000);
    height->SetValue(150);
    std::vector<int32_t> seen;
    height->OnChange = [&](TObject*) { seen.push_back(height->Value()); };
    Simulate::Focus(height);
    Simulate::Key(height, VK_END);
    for (int i = 0; i < 3; ++i) {
        Simulate::Key(height, VK_BACK);
    }
    EXPECT_EQ(height->Text(), "50") << "emptying the field shows the minimum at once";
    EXPECT_EQ(seen.back(), 50);
    struct Case
    {
        std::string Text;
        int32_t Value;
    };
    const Case cases[] = {{"-12", -12}, {"+8", 8}, {"  42", 42}, {"4 2", 50}, {"3000000000", 50}, {"x", 50}};
    height->SetMinValue(0);
    height->SetMaxValue(0);
    for (const Case& c : cases) {
        height->SetMinValue(50);
        height->SetText(c.Text);
        EXPECT_EQ(height->Value(), c.Value) << c.Text;
    }
}

TEST_F(SpinEdit, ButtonsAndArrowKeysStepWithinTheRangeAndLettersAreDropped)
{
    auto* quality = Add<TCSpinEdit>();
    quality->SetMinValue(0);
    quality->SetMaxValue(20);
    quality->SetValue(19);
    quality->SetIncrement(2);
    Simulate::SpinUp(quality);
    EXPECT_EQ(quality->Value(), 20);
    Simulate::SpinDown(quality);
    EXPECT_EQ(quality->Value(), 18);
    Simulate::Key(quality, VK_UP);
    EXPECT_EQ(quality->Value(), 20);
    quality->SetValue(5);
    Simulate::Retype(quality, "1a2");
    EXPECT_EQ(quality->Text(), "12");
}

using KeyFilter = FormFixture;

TEST_F(KeyFilter, KeyPressCanDropAndReplaceTypedCharacters)
{
    // The background-colour field's rule: "#" first, then at most six hexadecimal digits.
    auto* colour = Add<TEdit>();
    colour->OnKeyPress = [&](TObject*, char& key) {
        const bool hex =
            (key >= '0' && key <= '9') || (key >= 'A' && key <= 'F') || (key >= 'a' && key <= 'f');
        const int32_t length = int32_t(colour->Text().size()) - colour->SelLength();
        if (key == '\t' || key == '\r' || key == '\b') {
            return;
        }
        if (hex && !colour->Text().empty() && length < 7) {
            return;
        }
        if (key == '#' && (colour->Text().empty() || colour->SelLength() == int32_t(colour->Text().size()))) {
            return;
        }
        key = 0;
    };
    Simulate::Type(colour, "1");
    EXPECT_EQ(colour->Text(), "") << "a digit into an empty field is refused";
    Simulate::Type(colour, "#FF80z00");
    EXPECT_EQ(colour->Text(), "#FF8000") << "the letter is dropped";
    Simulate::Type(colour, "2#");
    EXPECT_EQ(colour->Text(), "#FF8000") << "an eighth character is refused, and so is a second '#'";
    Simulate::Key(colour, VK_BACK);
    EXPECT_EQ(colour->Text(), "#FF800");
    colour->SelectAll();
    Simulate::Type(colour, "#");
    EXPECT_EQ(colour->Text(), "#") << "'#' replaces the whole text when it is selected";

    auto* upper = Add<TEdit>(0, 30);
    upper->OnKeyPress = [](TObject*, char& key) {
        if (key >= 'a' && key <= 'z') {
            key = char(key - 'a' + 'A');
        }
    };
    Simulate::Type(upper, "jpg");
    EXPECT_EQ(upper->Text(), "JPG");
}

TEST_F(KeyFilter, KeyPreviewShowsTheFormTheKeysFirst)
{
    auto* edit = Add<TEdit>();
    std::vector<std::string> order;
    Form->OnKeyDown = [&](TObject*, uint16_t& key, TShiftState) {
        order.push_back("form");
        if (key == VK_F5) {
            key = 0;
        }
    };
    edit->OnKeyDown = [&](TObject*, uint16_t&, TShiftState) { order.push_back("edit"); };
    Simulate::Key(edit, VK_F4);
    EXPECT_EQ(order, (std::vector<std::string>{"edit"}));
    Form->SetKeyPreview(true);
    order.clear();
    Simulate::Key(edit, VK_F4);
    Simulate::Key(edit, VK_F5);
    EXPECT_EQ(order, (std::vector<std::string>{"form", "edit", "form"}));
}

using ListBox = FormFixture;

TEST_F(ListBox, OwnerDrawnRowsAreDrawnWithTheirRectanglesAndState)
{
    auto* list = Add<TListBox>();
    list->SetStyle(lbOwnerDrawFixed);
    list->SetItemHeight(19);
    list->SetBounds(0, 0, 200, 100);
    struct Drawn
    {
        int32_t Index;
        TRect Rect;
        TOwnerDrawState State;
        TColor Brush;
    };
    std::vector<Drawn> drawn;
    list->OnDrawItem = [&](TWinControl* control, int32_t index, TRect rect, TOwnerDrawState state) {
        TCanvas* canvas = static_cast<TListBox*>(control)->Canvas();
        drawn.push_back({index, rect, state, canvas->Brush()->Color()});
        canvas->Brush()->SetColor(state & odSelected ? RGBToColor(255, 255, 190) : clWhite);
        canvas->FillRect(rect);
    };
    TObject marker;
    list->Items()->AddObject("title", &marker);
    list->Items()->Add("author");
    list->SetItemIndex(0);
    list->Repaint();
    ASSERT_EQ(drawn.size(), 2u);
    const int32_t width = list->ClientWidth();
    EXPECT_EQ(drawn[0].Index, 0);
    EXPECT_EQ(drawn[0].Rect, (TRect{0, 0, width, 19}));
    EXPECT_TRUE(drawn[0].State & odSelected);
    EXPECT_EQ(drawn[0].Brush, clHighlight) << "the canvas comes set to the selected colours";
    EXPECT_EQ(drawn[1].Rect, (TRect{0, 19, width, 38}));
    EXPECT_FALSE(drawn[1].State & odSelected);
    EXPECT_EQ(list->ItemRect(1), (TRect{0, 19, width, 38}));
    EXPECT_EQ(list->Items()->Objects(0), &marker);
    EXPECT_EQ(list->FrontImage()->Canvas()->Pixels(5, 5), RGBToColor(255, 255, 190));
    EXPECT_EQ(list->FrontImage()->Canvas()->Pixels(5, 25), clWhite);

    // Only the rows inside the invalidated rectangle are drawn again.
    drawn.clear();
    const TRect second = list->ItemRect(1);
    list->InvalidateRect(&second, false);
    list->Update();
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(drawn[0].Index, 1);
}

TEST_F(ListBox, VariableRowsTakeTheirMeasuredHeights)
{
    auto* list = Add<TListBox>();
    list->SetStyle(lbOwnerDrawVariable);
    list->OnMeasureItem = [](TWinControl*, int32_t index, int32_t& height) { height = 10 + 5 * index; };
    std::vector<TRect> rects;
    list->OnDrawItem = [&](TWinControl*, int32_t, TRect rect, TOwnerDrawState) { rects.push_back(rect); };
    list->Items()->SetText("a\nb\nc\n");
    list->Repaint();
    const int32_t width = list->ClientWidth();
    EXPECT_EQ(rects, (std::vector<TRect>{{0, 0, width, 10}, {0, 10, width, 25}, {0, 25, width, 45}}));
    EXPECT_EQ(list->ItemAtPos(TPoint{3, 24}, true), 1);
    EXPECT_EQ(list->ItemAtPos(TPoint{3, 60}, true), -1);
    EXPECT_EQ(list->ItemAtPos(TPoint{3, 60}, false), 3);
}

TEST_F(ListBox, TheUsersSelectionFiresClickAndTheProgramsDoesNot)
{
    auto* list = Add<TListBox>();
    list->Items()->SetText("Blue\nGreen\nRed\n");
    Counter clicks;
    Counter doubles;
    list->OnClick = clicks.Handler();
    list->OnDblClick = doubles.Handler();
    list->SetItemIndex(1);
    EXPECT_EQ(clicks.Count, 0);
    const TRect third = list->ItemRect(2);
    Simulate::Click(list, 5, third.Top + 1);
    EXPECT_EQ(list->ItemIndex(), 2);
    EXPECT_EQ(clicks.Count, 1);
    Simulate::Key(list, VK_HOME);
    EXPECT_EQ(list->ItemIndex(), 0);
    EXPECT_EQ(clicks.Count, 2);
    Simulate::DoubleClick(list, 5, 1);
    EXPECT_EQ(doubles.Count, 1);
    EXPECT_EQ(clicks.Count, 2) << "clicking the selected row again changes nothing";
    list->Items()->Delete(0);
    list->Items()->Delete(0);
    EXPECT_EQ(list->Count(), 1);
    list->Clear();
    EXPECT_EQ(list->ItemIndex(), -1);
}

TEST_F(ListBox, ManyRowsScrollByWholeRows)
{
    auto* list = Add<TListBox>();
    list->SetStyle(lbOwnerDrawFixed);
    list->SetItemHeight(10);
    list->SetBounds(0, 0, 100, 54);
    for (int i = 0; i < 20; ++i) {
        list->Items()->Add("row " + std::to_string(i));
    }
    EXPECT_TRUE(list->ScrollBarVisible(SB_VERT));
    Simulate::Scroll(list, SB_VERT, SB_LINEDOWN);
    EXPECT_EQ(list->TopIndex(), 1);
    Simulate::Scroll(list, SB_VERT, SB_PAGEDOWN);
    EXPECT_EQ(list->TopIndex(), 6);
    Simulate::Scroll(list, SB_VERT, SB_BOTTOM);
    EXPECT_EQ(list->TopIndex(), 15);
    EXPECT_EQ(list->ItemRect(15).Top, 0);
    list->SetItemIndex(2);
    EXPECT_EQ(list->TopIndex(), 2) << "the selected row is scrolled into view";
}

using Header = FormFixture;

TEST_F(Header, OnlyTheUsersResizeFiresAndAutomaticSectionsFillTheRest)
{
    auto* header = Add<THeaderControl>();
    header->SetBounds(0, 0, 405, 18);
    THeaderSection* name = header->Sections()->Add();
    name->SetText("Parameter name");
    name->SetWidth(200);
    name->SetAllowClick(false);
    THeaderSection* value = header->Sections()->Add();
    value->SetText("Value");
    value->SetAutoSize(true);
    EXPECT_EQ(value->Width(), 205);
    EXPECT_EQ(value->Left(), 200);
    std::vector<int32_t> resized;
    header->OnSectionResize = [&](THeaderControl*, THeaderSection* section) {
        resized.push_back(section->Index());
    };
    name->SetWidth(150);
    EXPECT_TRUE(resized.empty());
    EXPECT_EQ(value->Width(), 255);
    Simulate::ResizeSection(header, 0, 120);
    EXPECT_EQ(resized, (std::vector<int32_t>{0}));
    EXPECT_EQ(name->Width(), 120);
    EXPECT_EQ(value->Width(), 285);
    EXPECT_EQ(header->Sections()->Items(1)->Text(), "Value");
    EXPECT_THROW(header->Sections()->Items(2), EListError);
}

using Buttons = FormFixture;

TEST_F(Buttons, SpeedButtonsOfAGroupStayDownOneAtATime)
{
    auto* left = Add<TSpeedButton>();
    auto* right = Add<TSpeedButton>(30, 0);
    auto* loose = Add<TSpeedButton>(60, 0);
    left->SetGroupIndex(1);
    right->SetGroupIndex(1);
    Counter clicks;
    right->OnClick = clicks.Handler();
    left->SetDown(true);
    Simulate::Click(right);
    EXPECT_TRUE(right->Down());
    EXPECT_FALSE(left->Down());
    EXPECT_EQ(clicks.Count, 1);
    Simulate::Click(right);
    EXPECT_TRUE(right->Down()) << "without AllowAllUp the last one stays down";
    right->SetAllowAllUp(true);
    Simulate::Click(right);
    EXPECT_FALSE(right->Down());
    loose->SetDown(true);
    EXPECT_FALSE(loose->Down()) << "a button without a group never stays down";
}

TEST_F(Buttons, BitButtonKindsSetCaptionResultAndRole)
{
    struct Case
    {
        TBitBtnKind Kind;
        std::string Caption;
        TModalResult Result;
        bool Default;
        bool Cancel;
    };
    const Case cases[] = {
        {bkOK, "OK", mrOk, true, false},          {bkCancel, "Cancel", mrCancel, false, true},
        {bkYes, "&Yes", mrYes, true, false},      {bkNo, "&No", mrNo, false, true},
        {bkAbort, "Abort", mrAbort, false, true},
    };
    for (const Case& c : cases) {
        auto* button = Add<TBitBtn>();
        button->SetKind(c.Kind);
        EXPECT_EQ(button->Caption(), c.Caption);
        EXPECT_EQ(button->ModalResult(), c.Result);
        EXPECT_EQ(button->Default(), c.Default);
        EXPECT_EQ(button->Cancel(), c.Cancel);
        button->Free();
    }
    auto* close = Add<TBitBtn>();
    close->SetKind(bkClose);
    Counter hides;
    Form->OnHide = hides.Handler();
    Simulate::Click(close);
    EXPECT_EQ(hides.Count, 1) << "the close kind closes its form";
    Form->Show();
}

using Menus = FormFixture;

TEST_F(Menus, ItemsClickThroughTheMenuAndTheMenuTakesNoClientRoom)
{
    Form->SetClientWidth(380);
    Form->SetClientHeight(200);
    auto* menu = new TMainMenu(Form);
    EXPECT_EQ(Form->Menu(), menu);
    auto* options = new TMenuItem(Form);
    options->SetCaption("Options");
    auto* organizer = new TMenuItem(Form);
    organizer->SetCaption("Templates organizer");
    auto* line = new TMenuItem(Form);
    line->SetCaption("-");
    options->Add(organizer);
    options->Add(line);
    menu->Items()->Add(options);
    EXPECT_EQ(Form->ClientWidth(), 380);
    EXPECT_EQ(Form->ClientHeight(), 200);
    Counter clicks;
    organizer->OnClick = clicks.Handler();
    organizer->Click();
    EXPECT_EQ(clicks.Count, 1);
    EXPECT_TRUE(line->IsLine());
    EXPECT_EQ(options->IndexOf(line), 1);
    line->Free();
    EXPECT_EQ(options->Count(), 1);
    menu->Free();
    EXPECT_EQ(Form->Menu(), nullptr);
    EXPECT_EQ(Form->ClientHeight(), 200);
}

using Layout = FormFixture;

TEST_F(Layout, AlignedControlsShareTheClientArea)
{
    Form->SetClientWidth(300);
    Form->SetClientHeight(200);
    auto* top = Add<TPanel>();
    top->SetHeight(30);
    top->SetAlign(alTop);
    auto* bottom = Add<TProgressBar>();
    bottom->SetHeight(10);
    bottom->SetAlign(alBottom);
    auto* left = Add<TPanel>();
    left->SetWidth(50);
    left->SetAlign(alLeft);
    auto* rest = Add<TPanel>();
    rest->SetAlign(alClient);
    EXPECT_EQ(top->BoundsRect(), (TRect{0, 0, 300, 30}));
    EXPECT_EQ(bottom->BoundsRect(), (TRect{0, 190, 300, 200}));
    EXPECT_EQ(left->BoundsRect(), (TRect{0, 30, 50, 190}));
    EXPECT_EQ(rest->BoundsRect(), (TRect{50, 30, 300, 190}));
    Form->SetClientHeight(250);
    EXPECT_EQ(bottom->BoundsRect(), (TRect{0, 240, 300, 250}));
    EXPECT_EQ(rest->BoundsRect(), (TRect{50, 30, 300, 240}));
    bottom->Hide();
    EXPECT_EQ(rest->BoundsRect(), (TRect{50, 30, 300, 250}));
}

TEST_F(Layout, ChildrenTakeTheParentsFontColourAndHintsUntilGivenTheirOwn)
{
    Form->Font()->SetName("Arial");
    Form->Font()->SetHeight(-11);
    auto* group = Add<TGroupBox>();
    auto* label = new TLabel(Form);
    label->SetParent(group);
    EXPECT_EQ(label->Font()->Name(), "Arial");
    Form->Font()->SetHeight(-12);
    EXPECT_EQ(label->Font()->Height(), -12) << "the change reaches grandchildren";
    label->Font()->SetStyle(TFontStyles{fsBold});
    EXPECT_FALSE(label->ParentFont());
    Form->Font()->SetHeight(-14);
    EXPECT_EQ(label->Font()->Height(), -12);

    auto* edit = Add<TEdit>();
    edit->SetHint("Select folder with images|The folder of the pictures");
    EXPECT_FALSE(edit->ShowHint());
    Form->SetShowHint(true);
    EXPECT_TRUE(edit->ShowHint());
    edit->SetShowHint(false);
    EXPECT_FALSE(edit->ShowHint());

    auto* caption = Add<TLabel>();
    EXPECT_TRUE(caption->ParentColor());
    Form->SetColor(clWhite);
    EXPECT_EQ(caption->Color(), clWhite);
    EXPECT_EQ(label->Color(), clBtnFace) << "the group box keeps its own colour";
}

TEST_F(Layout, LabelsShowAccessKeysAndSizeToTheirText)
{
    auto* label = Add<TLabel>();
    label->SetCaption("&Transparent:");
    EXPECT_EQ(label->Caption(), "&Transparent:");
    const int32_t shortWidth = label->Width();
    label->SetCaption("Page for viewing of image");
    EXPECT_GT(label->Width(), shortWidth);
    label->SetAutoSize(false);
    label->SetCaption("x");
    EXPECT_GT(label->Width(), shortWidth);
}

TEST_F(Layout, MemoLinesAndTextAreOne)
{
    auto* memo = Add<TMemo>();
    memo->SetReadOnly(true);
    memo->SetScrollBars(ssVertical);
    Counter changes;
    memo->OnChange = changes.Handler();
    memo->Lines()->Add("Line 12");
    memo->Lines()->Add("Tag : <thumb>");
    EXPECT_EQ(memo->Text(), "Line 12\r\nTag : <thumb>");
    EXPECT_EQ(changes.Count, 2);
    memo->SetText("a\r\nb\r\nc");
    EXPECT_EQ(memo->Lines()->Count(), 3);
    EXPECT_EQ(memo->Lines()->Strings(2), "c");
    memo->Clear();
    EXPECT_EQ(memo->Lines()->Count(), 0);
}

using ImageControl = FormFixture;

TEST_F(ImageControl, StretchProportionalAndCenterPlaceThePicture)
{
    auto* image = Add<TImage>();
    image->SetBounds(0, 0, 100, 50);
    TBitmap* bitmap = image->Picture()->Bitmap();
    bitmap->SetPixelFormat(pf24bit);
    bitmap->SetSize(40, 40);
    bitmap->Canvas()->Brush()->SetColor(clRed);
    bitmap->Canvas()->FillRect(TRect{0, 0, 40, 40});
    struct Case
    {
        bool Stretch;
        bool Proportional;
        bool Center;
        TRect Dest;
    };
    const Case cases[] = {
        {false, false, false, {0, 0, 40, 40}}, {false, false, true, {30, 5, 70, 45}},
        {true, false, false, {0, 0, 100, 50}}, {true, true, false, {0, 0, 50, 50}},
        {true, true, true, {25, 0, 75, 50}},   {false, true, false, {0, 0, 40, 40}},
    };
    for (const Case& c : cases) {
        image->SetStretch(c.Stretch);
        image->SetProportional(c.Proportional);
        image->SetCenter(c.Center);
        EXPECT_EQ(image->DestRect(), c.Dest) << c.Stretch << c.Proportional << c.Center;
    }
    image->SetStretch(true);
    image->SetProportional(true);
    image->SetCenter(true);
    image->Update();
    EXPECT_EQ(image->FrontImage()->Canvas()->Pixels(50, 25), clRed);
    EXPECT_EQ(image->FrontImage()->Canvas()->Pixels(10, 25),
              Form->Color() == clBtnFace ? ColorToRGB(clBtnFace) : Form->Color());
    image->SetAutoSize(true);
    EXPECT_EQ(image->Width(), 40);
    EXPECT_EQ(image->Height(), 40);
}

TEST_F(ChangeEvents, EditableComboFiresWhileTypingAndFindsItemsByText)
{
    auto* combo = Add<TComboBox>();
    Counter changes;
    combo->OnChange = changes.Handler();
    TObject first;
    combo->Items()->AddObject("Left", &first);
    combo->Items()->Add("Center");
    EXPECT_EQ(combo->Items()->Objects(0), &first);
    Simulate::Type(combo, "Ri");
    EXPECT_EQ(combo->Text(), "Ri");
    EXPECT_EQ(changes.Count, 2);
    combo->SetStyle(csDropDownList);
    combo->SetText("Center");
    EXPECT_EQ(combo->ItemIndex(), 1);
    combo->SetText("Nowhere");
    EXPECT_EQ(combo->ItemIndex(), 1) << "a text that names no item changes nothing";
    EXPECT_EQ(changes.Count, 2);
    combo->Clear();
    EXPECT_EQ(combo->Items()->Count(), 0);
    EXPECT_THROW(combo->Items()->Strings(0), EStringListError);
}

TEST_F(ChangeEvents, DisabledAndReadOnlyControlsTakeNoInput)
{
    auto* edit = Add<TEdit>();
    edit->SetReadOnly(true);
    Counter changes;
    edit->OnChange = changes.Handler();
    Simulate::Type(edit, "x");
    EXPECT_EQ(edit->Text(), "");
    auto* button = Add<TButton>(0, 40);
    Counter clicks;
    button->OnClick = clicks.Handler();
    button->SetEnabled(false);
    Simulate::Click(button);
    EXPECT_EQ(clicks.Count, 0);
    button->SetEnabled(true);
    Simulate::Click(button);
    EXPECT_EQ(clicks.Count, 1);
    EXPECT_EQ(changes.Count, 0);
}

TEST_F(ChangeEvents, EditLimitsAndSelections)
{
    auto* edit = Add<TEdit>();
    edit->SetMaxLength(4);
    Simulate::Type(edit, "123456");
    EXPECT_EQ(edit->Text(), "1234");
    edit->SetSelStart(1);
    edit->SetSelLength(2);
    EXPECT_EQ(edit->SelText(), "23");
    edit->SetSelText("x");
    EXPECT_EQ(edit->Text(), "1x4");
    edit->SelectAll();
    EXPECT_EQ(edit->SelLength(), 3);
    edit->ClearSelection();
    EXPECT_EQ(edit->Text(), "");
    edit->SetPasswordChar('*');
    edit->SetText("secret");
    EXPECT_EQ(edit->Text(), "secret") << "the limit holds for typing, not for the program's text";
    Simulate::Key(edit, VK_END);
    Simulate::Type(edit, "s");
    EXPECT_EQ(edit->Text(), "secret");
    Simulate::Key(edit, VK_BACK);
    EXPECT_EQ(edit->Text(), "secre") << "shortening stays possible";
}

TEST_F(Layout, MemoLinesFollowWhatTheUserTypes)
{
    auto* memo = Add<TMemo>();
    Simulate::Type(memo, "ab");
    Simulate::Key(memo, VK_RETURN);
    Simulate::Type(memo, "c");
    EXPECT_EQ(memo->Lines()->Count(), 2);
    EXPECT_EQ(memo->Lines()->Strings(1), "c");
    EXPECT_EQ(memo->Text(), "ab\r\nc");
}

TEST_F(Layout, ProgressBarsClampAndStep)
{
    auto* progress = Add<TProgressBar>();
    progress->SetMax(3);
    progress->SetStep(1);
    for (int i = 0; i < 5; ++i) {
        progress->StepIt();
    }
    EXPECT_EQ(progress->Position(), 3);
    progress->SetPosition(-4);
    EXPECT_EQ(progress->Position(), 0);
    progress->SetMin(5);
    EXPECT_EQ(progress->Max(), 5);
    EXPECT_EQ(progress->Position(), 5);
}

TEST_F(Layout, PanelsDrawTheirBevelsAndCaption)
{
    auto* panel = Add<TPanel>();
    panel->SetBounds(0, 0, 60, 30);
    panel->SetColor(clWhite);
    panel->Repaint();
    TCanvas* front = panel->FrontImage()->Canvas();
    EXPECT_EQ(front->Pixels(0, 0), ColorToRGB(clBtnHighlight));
    EXPECT_EQ(front->Pixels(59, 29), ColorToRGB(clBtnShadow));
    EXPECT_EQ(front->Pixels(30, 15), clWhite);
    panel->SetBevelOuter(bvLowered);
    panel->SetCaption("Plimbet");
    panel->Repaint();
    EXPECT_EQ(front->Pixels(0, 0), ColorToRGB(clBtnShadow));
    bool written = false;
    for (int32_t x = 1; x < 59 && !written; ++x) {
        for (int32_t y = 1; y < 29 && !written; ++y) {
            written = front->Pixels(x, y) != clWhite;
        }
    }
    EXPECT_TRUE(written) << "the caption is drawn inside";
}

TEST_F(Menus, DisabledItemsIgnoreTheirShortcut)
{
    auto* menu = new TMainMenu(Form);
    auto* file = new TMenuItem(Form);
    file->SetCaption("&File");
    auto* open = new TMenuItem(Form);
    open->SetCaption("&Open");
    open->SetShortCut(ShortCut('O', ssCtrl));
    file->Add(open);
    menu->Items()->Add(file);
    Counter clicks;
    open->OnClick = clicks.Handler();
    auto* edit = Add<TEdit>();
    Simulate::Key(edit, 'O', ssCtrl);
    EXPECT_EQ(clicks.Count, 1);
    open->SetEnabled(false);
    Simulate::Key(edit, 'O', ssCtrl);
    EXPECT_EQ(clicks.Count, 1);
    EXPECT_EQ(menu->FindItem(ShortCut('O', ssCtrl)), nullptr);
}

namespace {

// The darkest grey level among the pixels of a part of the form as the screen shows it.
int DarkestIn(TForm* Form, const TRect& Area)
{
    TBitmap shot;
    shot.SetPixelFormat(pf24bit);
    shot.SetSize(Form->ClientWidth(), Form->ClientHeight());
    Form->PaintTo(shot.Canvas(), 0, 0);
    int darkest = 255;
    for (int32_t y = Area.Top; y < Area.Bottom; ++y) {
        const uint8_t* row = shot.ScanLine(y);
        for (int32_t x = Area.Left; x < Area.Right; ++x) {
            darkest = std::min(darkest, (row[3 * x] + row[3 * x + 1] + row[3 * x + 2]) / 3);
        }
    }
    return darkest;
}

} // namespace

TEST_F(Buttons, DisabledControlsDrawTheirTextGreyedWhateverTheirColours)
{
    // The gallery's windows set their font and colour on every control; a disabled control must
    // still look disabled: its text clearly lighter than the black of an enabled one.
    Form->Font()->SetName("Arial");
    Form->Font()->SetHeight(-11);
    Form->SetColor(clBtnFace);
    auto* button = Add<TButton>(10, 10);
    button->SetBounds(10, 10, 120, 25);
    button->SetCaption("Parameters of template");
    auto* open = Add<TSpeedButton>(140, 10);
    open->SetFlat(true);
    open->SetCaption("...");
    auto* check = Add<TCheckBox>(10, 50);
    check->SetBounds(10, 50, 100, 17);
    check->SetCaption("Make equal");
    auto* edit = Add<TEdit>(10, 80);
    edit->SetBounds(10, 80, 120, 21);
    edit->SetText("template.html");
    edit->SetColor(clBtnFace);
    for (TControl* control : std::initializer_list<TControl*>{button, open, check, edit}) {
        control->Font()->SetColor(clBlack);
    }
    Simulate::ProcessEvents();
    TControl* controls[] = {button, open, check, edit};
    for (TControl* control : controls) {
        const TRect area = control->BoundsRect();
        // Inside the frame, where the text is.
        const TRect text{area.Left + 3, area.Top + 3, area.Right - 3, area.Bottom - 3};
        EXPECT_LT(DarkestIn(Form, text), 64) << control->Caption() << " enabled";
        control->SetEnabled(false);
        Simulate::ProcessEvents();
        EXPECT_GT(DarkestIn(Form, text), 96) << control->Caption() << " disabled";
        control->SetEnabled(true);
    }
}

TEST_F(Menus, CaptionsCarryAccessKeysAltOpensTheBarAndALineIsOnlyALine)
{
    // The menus of the gallery's main window, captions as the program gives them.
    auto* menu = new TMainMenu(Form);
    auto* edit = Add<TEdit>();
    std::vector<std::string> clicked;
    const auto add = [&](TMenuItem* Parent, const std::string& Caption) {
        auto* item = new TMenuItem(Form);
        item->SetCaption(Caption);
        item->OnClick = [&clicked, Caption](TObject*) { clicked.push_back(Caption); };
        Parent->Add(item);
        return item;
    };
    TMenuItem* options = add(menu->Items(), "Options");
    add(options, "Options");
    add(options, "Templates organizer");
    TMenuItem* help = add(menu->Items(), "Help");
    add(help, "Content");
    TMenuItem* line = add(help, "-");
    add(help, "Web site ...");
    add(help, "-");
    add(help, "About");
    Simulate::ProcessEvents();

    // Captions keep their text; the menus show them with an access key of their own, distinct
    // among their neighbours; a line shows no text at all.
    EXPECT_EQ(options->Caption(), "Options");
    const std::vector<std::pair<TMenuItem*, std::vector<std::string>>> shown = {
        {menu->Items(), {"&Options", "&Help"}},
        {options, {"&Options", "&Templates organizer"}},
        {help, {"&Content", "", "&Web site ...", "", "&About"}},
    };
    for (const auto& [parent, texts] : shown) {
        std::vector<std::string> actual;
        for (int32_t i = 0; i < parent->Count(); ++i) {
            actual.push_back(parent->Items(i)->ShownCaption());
        }
        EXPECT_EQ(actual, texts);
    }
    EXPECT_TRUE(line->IsLine());

    // Alt and an access key open a menu, and its item's key chooses it.
    Simulate::Key(edit, 'H', ssAlt);
    EXPECT_EQ(Simulate::OpenMenu(), "&Help");
    Simulate::KeyToFocus('A');
    EXPECT_EQ(clicked, std::vector<std::string>{"About"});
    EXPECT_EQ(Simulate::OpenMenu(), "");

    // Alt alone takes the keyboard to the menu bar, where the access keys open the menus.
    Simulate::Key(edit, VK_MENU);
    Simulate::KeyToFocus('O');
    EXPECT_EQ(Simulate::OpenMenu(), "&Options");
    Simulate::KeyToFocus('T');
    EXPECT_EQ(clicked, (std::vector<std::string>{"About", "Templates organizer"}));
    menu->Free();
}
