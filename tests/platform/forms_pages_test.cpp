// The controls of the settings dialogs: pages whose tabs come and go, up-downs stepping their
// edits (or nothing), radio buttons and groups, and the track bar's thumb length. What the user
// does goes through simulate.h; what the program sets must fire nothing.
#include <gtest/gtest.h>

#include <QSlider>
#include <QStyleOptionSlider>
#include <string>
#include <vector>

#include "platform/forms/forms.h"

namespace {

class FormFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Form = new TForm(nullptr);
        Form->AfterConstruction();
        Form->SetBounds(10, 10, 500, 360);
        Form->Show();
    }
    void TearDown() override
    {
        Form->Hide();
        Form->Free();
    }
    template <class T> T* Add(TWinControl* Parent = nullptr, int32_t Left = 0, int32_t Top = 0)
    {
        auto* control = new T(Form);
        control->SetParent(Parent ? Parent : Form);
        control->SetLeft(Left);
        control->SetTop(Top);
        return control;
    }
    // A page control with pages captioned by the names, tags 1, 2, 3 ...
    TPageControl* Pages(const std::vector<std::string>& Captions)
    {
        auto* pages = Add<TPageControl>();
        pages->SetBounds(0, 0, 400, 250);
        for (size_t i = 0; i < Captions.size(); ++i) {
            auto* sheet = new TTabSheet(Form);
            sheet->SetPageControl(pages);
            sheet->SetCaption(Captions[i]);
            sheet->SetTag(static_cast<intptr_t>(i + 1));
        }
        return pages;
    }

    TForm* Form = nullptr;
};

// The events of a test in the order they fired.
struct Log
{
    std::vector<std::string> Events;
    TNotifyEvent Note(const std::string& Name)
    {
        return [this, Name](TObject*) { Events.push_back(Name); };
    }
};

int32_t ActiveTag(TPageControl* Pages)
{
    return Pages->ActivePage() ? static_cast<int32_t>(Pages->ActivePage()->Tag()) : 0;
}

} // namespace

using PageControl = FormFixture;

TEST_F(PageControl, OnlyTheActivePageShowsAndProgramChangesFireNothing)
{
    TPageControl* pages = Pages({"JPEG", "TIFF", "GIF"});
    Log log;
    pages->OnChange = log.Note("change");
    pages->OnChanging = [&](TObject*, bool&) { log.Events.push_back("changing"); };
    ASSERT_EQ(pages->PageCount(), 3);
    EXPECT_EQ(pages->ActivePageIndex(), 0) << "the first page becomes active by itself";
    EXPECT_EQ(pages->Pages(1)->Caption(), "TIFF");
    EXPECT_EQ(pages->Pages(2)->PageIndex(), 2);

    auto* edit = Add<TEdit>(pages->Pages(1));
    pages->SetActivePage(pages->Pages(1));
    EXPECT_EQ(ActiveTag(pages), 2);
    EXPECT_TRUE(edit->Showing());
    EXPECT_FALSE(pages->Pages(0)->Visible());
    pages->SetActivePageIndex(2);
    EXPECT_FALSE(edit->Showing()) << "controls of a page that is not active are not shown";
    EXPECT_EQ(pages->Pages(2)->Width(), pages->ClientWidth()) << "a page fills the pane";
    EXPECT_EQ(pages->Pages(2)->Height(), pages->ClientHeight());
    EXPECT_LT(pages->ClientHeight(), pages->Height()) << "the tabs take room above the pages";
    pages->SetActivePageIndex(7);
    EXPECT_EQ(pages->ActivePage(), nullptr) << "an index out of range makes none active";
    EXPECT_EQ(pages->TabIndex(), -1);
    EXPECT_TRUE(log.Events.empty());
    EXPECT_THROW(pages->Pages(3), EListError);

    TPageControl* other = Pages({"Other"});
    pages->SetActivePage(other->Pages(0));
    EXPECT_EQ(pages->ActivePage(), nullptr) << "a page of another control is refused";
}

TEST_F(PageControl, HiddenTabsAreSkippedAndTheirPagesNeverActive)
{
    TPageControl* pages = Pages({"A", "B", "C", "D"});
    pages->Pages(1)->SetTabVisible(false);
    EXPECT_EQ(pages->Pages(1)->TabIndex(), -1);
    EXPECT_EQ(pages->Pages(2)->TabIndex(), 1) << "tab positions count the shown tabs only";
    EXPECT_EQ(pages->Pages(2)->PageIndex(), 2);
    pages->SetActivePage(pages->Pages(1));
    EXPECT_EQ(ActiveTag(pages), 1) << "a page without a tab cannot become active";

    // Hiding the active page's tab: the next shown tab takes over, else the one before it.
    struct Case
    {
        int32_t Active;
        int32_t Hidden;
        int32_t ExpectTag;
    };
    const Case cases[] = {{0, 0, 3}, {2, 2, 4}, {3, 3, 3}};
    for (const Case& c : cases) {
        for (int32_t i = 0; i < pages->PageCount(); ++i) {
            pages->Pages(i)->SetTabVisible(i != 1);
        }
        pages->SetActivePageIndex(c.Active);
        pages->Pages(c.Hidden)->SetTabVisible(false);
        EXPECT_EQ(ActiveTag(pages), c.ExpectTag) << "active " << c.Active;
        EXPECT_TRUE(pages->ActivePage()->TabVisible());
    }

    // The dialogs' way: hide every tab, show those wanted, then activate the first shown.
    for (int32_t i = 0; i < pages->PageCount(); ++i) {
        pages->Pages(i)->SetTabVisible(false);
    }
    EXPECT_EQ(pages->ActivePage(), nullptr);
    EXPECT_EQ(pages->TabIndex(), -1);
    pages->Pages(3)->SetTabVisible(true);
    pages->Pages(2)->SetTabVisible(true);
    EXPECT_EQ(ActiveTag(pages), 4) << "the first tab shown with none active becomes active";
    EXPECT_EQ(pages->FindNextPage(nullptr, true, true), pages->Pages(2));
    EXPECT_EQ(pages->FindNextPage(pages->Pages(3), true, true), pages->Pages(2)) << "wraps round";
    EXPECT_EQ(pages->FindNextPage(pages->Pages(2), false, false), pages->Pages(1));
}

TEST_F(PageControl, TheUsersTabClickAsksOnChangingThenFiresOnChange)
{
    TPageControl* pages = Pages({"Contrast", "HSV", "HSL"});
    pages->Pages(1)->SetTabVisible(false);
    Log log;
    bool allow = true;
    int32_t tagWhenChanging = -1;
    pages->OnChanging = [&](TObject*, bool& AllowChange) {
        log.Events.push_back("changing");
        tagWhenChanging = ActiveTag(pages);
        AllowChange = allow;
    };
    pages->OnChange = log.Note("change");
    pages->Pages(0)->OnHide = log.Note("hide 1");
    pages->Pages(2)->OnShow = log.Note("show 3");

    Simulate::ClickTab(pages, pages->Pages(2));
    EXPECT_EQ(ActiveTag(pages), 3);
    EXPECT_EQ(tagWhenChanging, 1) << "OnChanging sees the page being left";
    EXPECT_EQ(log.Events, (std::vector<std::string>{"changing", "hide 1", "show 3", "change"}));

    log.Events.clear();
    Simulate::ClickTab(pages, pages->Pages(2));
    EXPECT_TRUE(log.Events.empty()) << "the active tab's click changes nothing";
    Simulate::ClickTab(pages, pages->Pages(1));
    EXPECT_TRUE(log.Events.empty()) << "a hidden tab cannot be clicked";

    allow = false;
    Simulate::ClickTab(pages, pages->Pages(0));
    EXPECT_EQ(ActiveTag(pages), 3) << "a refused change keeps the page";
    EXPECT_EQ(pages->TabBar()->currentIndex(), 2) << "and its tab";
    EXPECT_EQ(log.Events, std::vector<std::string>{"changing"});

    allow = true;
    log.Events.clear();
    pages->SelectNextPage(true);
    EXPECT_EQ(ActiveTag(pages), 1) << "the next page with a tab, wrapping round";
    EXPECT_EQ(log.Events, (std::vector<std::string>{"changing", "change"}));
}

TEST_F(PageControl, CtrlTabTurnsThePagesFromAControlOnThem)
{
    TPageControl* pages = Pages({"A", "B", "C"});
    pages->Pages(1)->SetTabVisible(false);
    auto* edit = Add<TEdit>(pages->Pages(0));
    auto* memo = Add<TMemo>(pages->Pages(2));
    Log log;
    pages->OnChange = log.Note("change");
    Simulate::Key(edit, VK_TAB, ssCtrl);
    EXPECT_EQ(ActiveTag(pages), 3) << "the hidden tab is skipped";
    Simulate::Key(memo, VK_TAB, ssCtrl | ssShift);
    EXPECT_EQ(ActiveTag(pages), 1);
    EXPECT_EQ(log.Events.size(), 2u);
    Simulate::Key(edit, VK_TAB);
    EXPECT_EQ(ActiveTag(pages), 1) << "Tab alone moves the focus only";
}

TEST_F(PageControl, PagesMoveAndGoAway)
{
    TPageControl* pages = Pages({"A", "B", "C"});
    pages->Pages(0)->SetPageIndex(2);
    EXPECT_EQ(pages->Pages(2)->Caption(), "A");
    EXPECT_EQ(pages->Pages(0)->Caption(), "B");
    EXPECT_EQ(pages->TabBar()->tabText(2).toStdString(), "A") << "the tab moves with its page";
    EXPECT_EQ(ActiveTag(pages), 1) << "moving keeps the active page";

    pages->SetActivePageIndex(1);
    pages->Pages(1)->Free();
    ASSERT_EQ(pages->PageCount(), 2);
    EXPECT_EQ(pages->ActivePage()->Caption(), "A") << "the next page takes the freed one's place";
    EXPECT_EQ(pages->TabBar()->count(), 2);

    auto* loose = new TTabSheet(Form);
    loose->SetParent(pages);
    EXPECT_EQ(loose->PageControl(), pages) << "a page control as parent takes the page in";
    EXPECT_EQ(pages->PageCount(), 3);
    loose->SetPageControl(nullptr);
    EXPECT_EQ(pages->PageCount(), 2);
    EXPECT_EQ(loose->PageIndex(), -1);
    loose->Free();
    // The page control goes first, its pages with it; the form frees the rest cleanly.
    pages->Free();
}

using UpDown = FormFixture;

TEST_F(UpDown, ClicksStepWithinTheRangeOrWrapRound)
{
    struct Case
    {
        int32_t Min, Max, Increment;
        bool Wrap;
        int32_t Start;
        TUDBtnType Button;
        int32_t Clicks;
        int32_t Expect;
    };
    const Case cases[] = {
        {0, 1000, 1, false, 0, btNext, 3, 3},
        {0, 1000, 1, false, 0, btPrev, 2, 0},           // stops at Min
        {0, 32767, 10, false, 32760, btNext, 2, 32767}, // stops at Max, not past it
        {-100, 100, 1, false, 5, btPrev, 10, -5},
        {0, 10, 4, true, 8, btNext, 1, 0},  // past Max wraps to Min
        {0, 10, 1, true, 0, btPrev, 1, 10}, // past Min wraps to Max
        {-10000, 10000, 1, false, 10000, btNext, 1, 10000},
    };
    for (const Case& c : cases) {
        auto* upDown = Add<TUpDown>();
        upDown->SetMin(c.Min);
        upDown->SetMax(c.Max);
        upDown->SetIncrement(c.Increment);
        upDown->SetWrap(c.Wrap);
        upDown->SetPosition(c.Start);
        for (int32_t i = 0; i < c.Clicks; ++i) {
            Simulate::ClickUpDown(upDown, c.Button);
        }
        EXPECT_EQ(upDown->Position(), c.Expect) << c.Min << ".." << c.Max << " from " << c.Start;
        upDown->Free();
    }
    auto* upDown = Add<TUpDown>();
    upDown->SetPosition(500);
    EXPECT_EQ(upDown->Position(), 100) << "positions set are clamped to 0 .. 100 by default";
}

TEST_F(UpDown, AnAssociatedEditShowsThePositionAndIsReadBeforeEachStep)
{
    auto* edit = Add<TEdit>(nullptr, 20, 30);
    edit->SetBounds(20, 30, 80, 21);
    auto* upDown = Add<TUpDown>();
    upDown->SetMax(1000);
    upDown->SetPosition(7);
    Log log;
    edit->OnChange = log.Note("edit");
    upDown->SetAssociate(edit);
    EXPECT_EQ(edit->Text(), "7");
    EXPECT_EQ(edit->Width(), 80 - upDown->Width()) << "the up-down takes its room from the edit";
    EXPECT_EQ(upDown->Left(), edit->Left() + edit->Width());
    EXPECT_EQ(upDown->Top(), 30);
    EXPECT_EQ(upDown->Height(), 21);

    struct Case
    {
        const char* Typed;
        TUDBtnType Button;
        const char* Expect;
    };
    const Case cases[] = {
        {"41", btNext, "42"},     {" 41 ", btPrev, "40"},  {"-3", btNext, "1"}, {"5000", btPrev, "999"},
        {"1,000", btPrev, "999"}, {"abc", btNext, "1000"}, {"", btPrev, "999"},
    };
    for (const Case& c : cases) {
        edit->SetText(c.Typed);
        Simulate::ClickUpDown(upDown, c.Button);
        EXPECT_EQ(edit->Text(), c.Expect) << "typed \"" << c.Typed << "\"";
        EXPECT_EQ(std::to_string(upDown->Position()), c.Expect);
    }

    upDown->SetAlignButton(udLeft);
    EXPECT_EQ(upDown->Left(), 20) << "on the left the up-down takes the edit's place";
    EXPECT_EQ(edit->Left(), 20 + upDown->Width());
    EXPECT_EQ(edit->Width(), 80 - upDown->Width()) << "the edit gives its room once";
    upDown->SetAlignButton(udRight);
    EXPECT_EQ(edit->Left(), 20);
    EXPECT_EQ(edit->Width(), 80 - upDown->Width());

    Simulate::Retype(edit, "20");
    Simulate::Key(edit, VK_UP);
    EXPECT_EQ(edit->Text(), "21") << "the edit's arrow keys step it";
    Simulate::Key(edit, VK_DOWN);
    Simulate::Key(edit, VK_DOWN);
    EXPECT_EQ(edit->Text(), "19");
    upDown->SetArrowKeys(false);
    Simulate::Key(edit, VK_UP);
    EXPECT_EQ(edit->Text(), "19");

    upDown->SetThousands(true);
    upDown->SetPosition(1000);
    EXPECT_EQ(edit->Text(), "1,000");
    upDown->SetMin(-5000);
    upDown->SetMax(5000);
    upDown->SetPosition(-4321);
    EXPECT_EQ(edit->Text(), "-4,321");
}

TEST_F(UpDown, ChangingMayRefuseAndClickFollowsEvenAtTheEnd)
{
    auto* upDown = Add<TUpDown>();
    upDown->SetMin(-10000);
    upDown->SetMax(10000);
    Log log;
    bool allow = true;
    std::vector<std::pair<int32_t, TUpDownDirection>> asked;
    upDown->OnChanging = [&](TObject*, bool& AllowChange) {
        log.Events.push_back("changing");
        AllowChange = allow;
    };
    upDown->OnChangingEx = [&](TObject*, bool&, int32_t NewValue, TUpDownDirection Direction) {
        asked.emplace_back(NewValue, Direction);
    };
    // The print dialog's way: an unassociated up-down whose OnClick steps an edit by 0.01.
    auto* margin = Add<TEdit>();
    margin->SetText("1");
    upDown->OnClick = [&](TObject*, TUDBtnType Button) {
        log.Events.push_back(Button == btNext ? "next" : "prev");
        const double value = std::stod(margin->Text()) + (Button == btNext ? 0.01 : -0.01);
        margin->SetText(std::to_string(value).substr(0, 4));
    };
    Simulate::ClickUpDown(upDown, btNext);
    Simulate::ClickUpDown(upDown, btPrev);
    Simulate::ClickUpDown(upDown, btPrev);
    EXPECT_EQ(margin->Text(), "0.99");
    EXPECT_EQ(upDown->Position(), -1);
    EXPECT_EQ(log.Events,
              (std::vector<std::string>{"changing", "next", "changing", "prev", "changing", "prev"}));
    EXPECT_EQ(asked,
              (std::vector<std::pair<int32_t, TUpDownDirection>>{{1, updUp}, {0, updDown}, {-1, updDown}}));

    allow = false;
    log.Events.clear();
    Simulate::ClickUpDown(upDown, btNext);
    EXPECT_EQ(upDown->Position(), -1) << "a refused step leaves the position";
    EXPECT_EQ(log.Events, std::vector<std::string>{"changing"});

    allow = true;
    upDown->SetPosition(10000);
    log.Events.clear();
    Simulate::ClickUpDown(upDown, btNext);
    EXPECT_EQ(upDown->Position(), 10000);
    EXPECT_EQ(log.Events, (std::vector<std::string>{"changing", "next"})) << "the end still clicks";

    log.Events.clear();
    upDown->SetEnabled(false);
    upDown->Click(btPrev);
    EXPECT_TRUE(log.Events.empty()) << "a disabled up-down does not step";
}

TEST_F(UpDown, AnAssociateFreedFirstIsForgotten)
{
    auto* edit = Add<TEdit>();
    auto* upDown = Add<TUpDown>();
    upDown->SetAssociate(edit);
    edit->Free();
    EXPECT_EQ(upDown->Associate(), nullptr);
    Simulate::ClickUpDown(upDown, btNext);
    EXPECT_EQ(upDown->Position(), 1);

    auto* first = Add<TEdit>();
    auto* second = Add<TEdit>(nullptr, 0, 40);
    upDown->SetAssociate(first);
    upDown->SetAssociate(second);
    first->SetText("50");
    Simulate::Key(first, VK_UP);
    EXPECT_EQ(first->Text(), "50") << "the edit left behind no longer steps";
    EXPECT_EQ(second->Text(), "1");
}

using Radio = FormFixture;

TEST_F(Radio, OneCheckedPerParentAndOnlyTheUsersCheckClicks)
{
    auto* box = Add<TGroupBox>(nullptr, 200, 0);
    TRadioButton* a = Add<TRadioButton>(nullptr, 0, 0);
    TRadioButton* b = Add<TRadioButton>(nullptr, 0, 20);
    TRadioButton* c = Add<TRadioButton>(box, 8, 20);
    a->SetCaption("Maximum");
    b->SetCaption("Minimum");
    c->SetCaption("Opening");
    Log log;
    a->OnClick = log.Note("a");
    b->OnClick = log.Note("b");
    c->OnClick = log.Note("c");

    a->SetChecked(true);
    c->SetChecked(true);
    EXPECT_TRUE(a->Checked()) << "another parent is another group";
    b->SetChecked(true);
    EXPECT_FALSE(a->Checked());
    EXPECT_TRUE(log.Events.empty()) << "the program's checks fire nothing";

    Simulate::ClickRadio(a);
    EXPECT_TRUE(a->Checked());
    EXPECT_FALSE(b->Checked());
    EXPECT_TRUE(c->Checked());
    Simulate::ClickRadio(a);
    EXPECT_TRUE(a->Checked()) << "clicking the checked button keeps it checked";
    EXPECT_EQ(log.Events, std::vector<std::string>{"a"});
    Simulate::Key(b, VK_SPACE);
    EXPECT_TRUE(b->Checked());
    EXPECT_EQ(log.Events, (std::vector<std::string>{"a", "b"}));

    b->SetChecked(false);
    EXPECT_FALSE(a->Checked());
    EXPECT_FALSE(b->Checked()) << "the program may leave none checked";
}

TEST_F(Radio, GroupItemsBecomeButtonsInColumns)
{
    auto* group = Add<TRadioGroup>();
    group->SetBounds(0, 0, 210, 105);
    group->SetCaption("Filter");
    for (const char* item : {"Maximum", "Minimum", "Opening", "Closing"}) {
        group->Items()->Add(item);
    }
    Log log;
    group->OnClick = log.Note("click");
    EXPECT_EQ(group->ItemIndex(), -1);
    group->SetItemIndex(2);
    EXPECT_TRUE(group->Buttons(2)->Checked());
    EXPECT_EQ(group->Buttons(3)->Caption(), "Closing");
    EXPECT_TRUE(log.Events.empty());

    Simulate::ClickRadioItem(group, 1);
    EXPECT_EQ(group->ItemIndex(), 1);
    EXPECT_FALSE(group->Buttons(2)->Checked());
    EXPECT_EQ(log.Events, std::vector<std::string>{"click"});
    Simulate::ClickRadioItem(group, 1);
    EXPECT_EQ(log.Events.size(), 1u) << "the checked item's click changes nothing";

    group->SetColumns(2);
    EXPECT_EQ(group->Buttons(0)->Left(), group->Buttons(1)->Left()) << "columns fill top to bottom";
    EXPECT_GT(group->Buttons(2)->Left(), group->Buttons(0)->Left());
    EXPECT_EQ(group->Buttons(2)->Top(), group->Buttons(0)->Top());
    EXPECT_GT(group->Buttons(1)->Top(), group->Buttons(0)->Top() + 10);

    group->SetItemIndex(9);
    EXPECT_EQ(group->ItemIndex(), -1);
    group->SetItemIndex(3);
    group->Items()->Delete(3);
    EXPECT_EQ(group->ItemIndex(), -1) << "the checked item went away";
    EXPECT_THROW(group->Buttons(3), EListError);
    group->Items()->SetStrings(0, "Largest");
    EXPECT_EQ(group->Buttons(0)->Caption(), "Largest");
    group->Items()->Clear();
    EXPECT_THROW(group->Buttons(0), EListError);
}

using TrackBarThumb = FormFixture;

TEST_F(TrackBarThumb, ThumbLengthSetsTheThumbAcrossTheTrack)
{
    auto* track = Add<TTrackBar>();
    track->SetBounds(0, 0, 150, 45);
    EXPECT_EQ(track->ThumbLength(), 20);
    auto handle = [&] {
        auto* slider = static_cast<QSlider*>(track->Widget());
        QStyleOptionSlider option;
        option.initFrom(slider);
        option.orientation = slider->orientation();
        option.minimum = slider->minimum();
        option.maximum = slider->maximum();
        option.sliderPosition = slider->sliderPosition();
        option.tickPosition = slider->tickPosition();
        return slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider);
    };
    const int styleThumb = handle().height();
    track->SetThumbLength(10);
    EXPECT_EQ(track->ThumbLength(), 10);
    EXPECT_EQ(handle().height(), 10);
    track->SetOrientation(trVertical);
    EXPECT_EQ(handle().width(), 10) << "across a vertical track, the thumb's width";
    track->SetOrientation(trHorizontal);
    track->SetThumbLength(20);
    EXPECT_EQ(handle().height(), styleThumb) << "back to the style's own thumb";
}
