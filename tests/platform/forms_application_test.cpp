// Forms and the application: modal showing answered by timers and buttons, the close protocol,
// posted messages from worker threads, synchronisation, the application-wide hook and timers, and
// the guard that keeps the forms disabled around a modal operation.
#include <gtest/gtest.h>

#include <QIcon>
#include <QImage>
#include <QWidget>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "platform/core/threads.h"
#include "platform/forms/forms.h"
#include "platform/forms/task_windows.h"

namespace {

// A form that frees itself through Free() when the test ends, as forms are freed by their owner.
template <class T> struct Owned
{
    explicit Owned(T* Object) : Ptr(Object) {}
    ~Owned()
    {
        if (Ptr) {
            Ptr->Free();
        }
    }
    T* operator->() const { return Ptr; }
    T* get() const { return Ptr; }
    T* Ptr;
};

Owned<TForm> NewForm()
{
    auto* form = new TForm(nullptr);
    form->AfterConstruction();
    return Owned<TForm>(form);
}

// Fires once, after the delay, on the user-interface thread.
class OneShot
{
public:
    OneShot(uint32_t Delay, std::function<void()> Action) : FTimer(nullptr)
    {
        FTimer.SetInterval(Delay);
        FTimer.OnTimer = [this, Action](TObject*) {
            FTimer.SetEnabled(false);
            Action();
        };
    }

private:
    TTimer FTimer;
};

} // namespace

TEST(ModalForm, TimerAnswersTheFormAndShowModalReturnsItsResult)
{
    Owned<TForm> form = NewForm();
    bool shownWhileModal = false;
    OneShot answer(20, [&] {
        shownWhileModal = form->Visible() && form->Modal() && Application->ModalLevel() == 1;
        form->SetModalResult(mrOk);
    });
    EXPECT_EQ(form->ShowModal(), mrOk);
    EXPECT_TRUE(shownWhileModal);
    EXPECT_FALSE(form->Visible());
    EXPECT_FALSE(form->Modal());
    EXPECT_EQ(Application->ModalLevel(), 0);
}

TEST(ModalForm, AButtonsModalResultClosesTheForm)
{
    Owned<TForm> form = NewForm();
    auto* yes = new TButton(form.get());
    yes->SetParent(form.get());
    yes->SetModalResult(mrYes);
    int clicks = 0;
    yes->OnClick = [&](TObject*) { ++clicks; };
    OneShot press(20, [&] { Simulate::Click(yes); });
    EXPECT_EQ(form->ShowModal(), mrYes);
    EXPECT_EQ(clicks, 1);
}

TEST(ModalForm, CloseQueryCanRefuseAndTheFrameCloseGivesCancel)
{
    Owned<TForm> form = NewForm();
    int queries = 0;
    std::vector<std::string> events;
    form->OnCloseQuery = [&](TObject*, bool& canClose) {
        ++queries;
        canClose = queries > 1;
    };
    form->OnClose = [&](TObject*, TCloseAction& action) {
        events.push_back("close");
        EXPECT_EQ(action, caHide);
    };
    form->OnShow = [&](TObject*) { events.push_back("show"); };
    form->OnHide = [&](TObject*) { events.push_back("hide"); };
    OneShot first(20, [&] { form->SetModalResult(mrOk); });
    OneShot second(60, [&] {
        EXPECT_TRUE(form->Visible()) << "the refused close keeps the form open";
        Simulate::CloseWindow(form.get());
    });
    EXPECT_EQ(form->ShowModal(), mrCancel);
    EXPECT_EQ(queries, 2);
    EXPECT_EQ(events, (std::vector<std::string>{"show", "close", "hide"}));
}

TEST(ModalForm, EnterClicksTheDefaultButtonAndEscapeTheCancelButton)
{
    Owned<TForm> form = NewForm();
    auto* edit = new TEdit(form.get());
    edit->SetParent(form.get());
    auto* ok = new TButton(form.get());
    ok->SetParent(form.get());
    ok->SetModalResult(mrOk);
    ok->SetDefault(true);
    auto* cancel = new TButton(form.get());
    cancel->SetParent(form.get());
    cancel->SetModalResult(mrCancel);
    cancel->SetCancel(true);
    for (auto [key, expected] : {std::pair{VK_RETURN, mrOk}, std::pair{VK_ESCAPE, mrCancel}}) {
        OneShot press(20, [&, key = key] { Simulate::Key(edit, key); });
        EXPECT_EQ(form->ShowModal(), expected);
    }
}

TEST(ModalForm, ShowingAVisibleFormModallyIsRefused)
{
    Owned<TForm> form = NewForm();
    form->Show();
    EXPECT_THROW(form->ShowModal(), EInvalidOperation);
    form->Hide();
}

TEST(ModalForm, NestedModalFormsReturnInOrderAndTheActiveFormFollows)
{
    Owned<TForm> outer = NewForm();
    Owned<TForm> inner = NewForm();
    TModalResult innerResult = mrNone;
    TForm* activeInside = nullptr;
    OneShot openInner(20, [&] {
        OneShot closeInner(20, [&] {
            activeInside = Screen->ActiveForm();
            inner->SetModalResult(mrNo);
        });
        innerResult = inner->ShowModal();
        EXPECT_EQ(Screen->ActiveForm(), outer.get());
        outer->SetModalResult(mrYes);
    });
    EXPECT_EQ(outer->ShowModal(), mrYes);
    EXPECT_EQ(innerResult, mrNo);
    EXPECT_EQ(activeInside, inner.get());
}

TEST(FormLifetime, CloseActionFreeReleasesTheFormAfterTheCurrentMessage)
{
    auto* form = new TForm(nullptr);
    form->AfterConstruction();
    bool destroyed = false;
    form->OnDestroy = [&](TObject*) { destroyed = true; };
    form->OnClose = [](TObject*, TCloseAction& action) { action = caFree; };
    form->Show();
    form->Close();
    EXPECT_FALSE(destroyed);
    EXPECT_TRUE(Simulate::WaitUntil([&] { return destroyed; }, 2000));
}

TEST(FormLifetime, ChildControlsGoWithTheirParentWhoeverOwnsThem)
{
    Owned<TForm> owner = NewForm();
    auto* panel = new TPanel(owner.get());
    auto* label = new TLabel(owner.get());
    label->SetName("Caption_LBL");
    label->SetParent(panel);
    EXPECT_EQ(owner->FindComponent("Caption_LBL"), label);
    const int32_t before = owner->ComponentCount();
    panel->Free();
    EXPECT_EQ(owner->ComponentCount(), before - 2);
    EXPECT_EQ(owner->FindComponent("Caption_LBL"), nullptr);
}

TEST(Messages, PostedFromAWorkerThreadArriveOnTheUserInterfaceThread)
{
    class TReceiver : public TCustomControl
    {
    public:
        using TCustomControl::TCustomControl;
        std::vector<std::pair<uint32_t, uint32_t>> Received; // message, thread
        LPARAM LastLParam = 0;
        void Dispatch(TMessage& Message) override
        {
            if (Message.Msg == 8024 || Message.Msg == WM_USER + 1000) {
                Received.emplace_back(Message.Msg, GetCurrentThreadId());
                LastLParam = Message.LParam;
                return;
            }
            TCustomControl::Dispatch(Message);
        }
    };
    Owned<TReceiver> receiver(new TReceiver(nullptr));
    const HWND handle = receiver->Handle();
    std::atomic<bool> posted{false};
    std::thread worker(
        [&] { posted = PostMessage(handle, 8024, 0, 77) && PostMessage(handle, WM_USER + 1000, 0, 0); });
    worker.join();
    ASSERT_TRUE(posted.load());
    EXPECT_TRUE(receiver->Received.empty()) << "posting only queues the message";
    ASSERT_TRUE(Simulate::WaitUntil([&] { return receiver->Received.size() == 2; }));
    EXPECT_EQ(receiver->Received[0], std::make_pair(uint32_t(8024), MainThreadID));
    EXPECT_EQ(receiver->Received[1].first, uint32_t(WM_USER + 1000));
    EXPECT_EQ(receiver->LastLParam, 0);
    EXPECT_EQ(SendMessage(handle, WM_USER + 1000, 0, 5), 0);
    EXPECT_EQ(receiver->Received.size(), 3u) << "sending dispatches at once";
}

TEST(Messages, AMessageForAFreedWindowIsDropped)
{
    auto* receiver = new TCustomControl(nullptr);
    const HWND handle = receiver->Handle();
    EXPECT_TRUE(PostMessage(handle, WM_USER + 1, 0, 0));
    receiver->Free();
    Simulate::ProcessEvents();
    EXPECT_FALSE(PostMessage(handle, WM_USER + 1, 0, 0));
    EXPECT_FALSE(PostMessage(0, WM_USER + 1, 0, 0));
    auto* other = new TCustomControl(nullptr);
    EXPECT_NE(other->Handle(), handle) << "handles are never reused";
    other->Free();
}

TEST(Messages, TheApplicationHookSeesPostedMessagesFirst)
{
    class TCounter : public TCustomControl
    {
    public:
        using TCustomControl::TCustomControl;
        std::vector<uint32_t> Received;
        void Dispatch(TMessage& Message) override
        {
            if (Message.Msg >= WM_USER) {
                Received.push_back(Message.Msg);
                return;
            }
            TCustomControl::Dispatch(Message);
        }
    };
    Owned<TCounter> target(new TCounter(nullptr));
    Owned<TApplicationEvents> events(new TApplicationEvents(nullptr));
    std::vector<uint32_t> seen;
    events->OnMessage = [&](TMsg& msg, bool& handled) {
        if (msg.hwnd == target->Handle()) {
            seen.push_back(msg.message);
            handled = msg.message == WM_USER + 2;
        }
    };
    PostMessage(target->Handle(), WM_USER + 2, 0, 0);
    PostMessage(target->Handle(), WM_USER + 3, 0, 0);
    ASSERT_TRUE(Simulate::WaitUntil([&] { return target->Received.size() == 1; }));
    EXPECT_EQ(seen, (std::vector<uint32_t>{WM_USER + 2, WM_USER + 3}));
    EXPECT_EQ(target->Received, (std::vector<uint32_t>{WM_USER + 3})) << "the handled one stops at the hook";
}

TEST(Messages, SynchronizeRunsTheCallOnTheUserInterfaceThread)
{
    class TWorker : public TThread
    {
    public:
        TWorker() : TThread(true) {}
        std::atomic<uint32_t> RanOn{0};

    protected:
        void Execute() override
        {
            Synchronize([this] { RanOn = GetCurrentThreadId(); });
        }
    };
    TWorker worker;
    worker.Start();
    ASSERT_TRUE(Simulate::WaitUntil([&] { return worker.Finished(); }));
    worker.WaitFor();
    EXPECT_EQ(worker.RanOn.load(), MainThreadID);
}

TEST(ApplicationHook, F1IsTakenBeforeTheMenuShortcut)
{
    Owned<TForm> form = NewForm();
    auto* menu = new TMainMenu(form.get());
    auto* help = new TMenuItem(form.get());
    help->SetCaption("Help");
    auto* content = new TMenuItem(form.get());
    content->SetCaption("Content");
    content->SetShortCut(ShortCut(VK_F1, 0));
    int contentClicks = 0;
    content->OnClick = [&](TObject*) { ++contentClicks; };
    help->Add(content);
    menu->Items()->Add(help);
    auto* edit = new TEdit(form.get());
    edit->SetParent(form.get());
    Owned<TApplicationEvents> hook(new TApplicationEvents(nullptr));
    int helpRequests = 0;
    int editKeys = 0;
    edit->OnKeyDown = [&](TObject*, uint16_t&, TShiftState) { ++editKeys; };
    hook->OnMessage = [&](TMsg& msg, bool& handled) {
        if (msg.message == WM_KEYDOWN && msg.wParam == VK_F1) {
            ++helpRequests;
            handled = true;
        }
    };
    form->Show();
    Simulate::Key(edit, VK_F1);
    EXPECT_EQ(helpRequests, 1);
    EXPECT_EQ(contentClicks, 0);
    EXPECT_EQ(editKeys, 0) << "a handled message goes no further";
    Simulate::Key(edit, VK_F2);
    EXPECT_EQ(editKeys, 1);
    EXPECT_EQ(menu->FindItem(ShortCut(VK_F1, 0)), content);
    form->Hide();
}

TEST(Timer, FiresOnTheUserInterfaceThreadWhileEnabled)
{
    TTimer timer(nullptr);
    std::vector<uint32_t> threads;
    timer.SetInterval(5);
    timer.OnTimer = [&](TObject*) { threads.push_back(GetCurrentThreadId()); };
    ASSERT_TRUE(Simulate::WaitUntil([&] { return threads.size() >= 2; }));
    for (uint32_t thread : threads) {
        EXPECT_EQ(thread, MainThreadID);
    }
    timer.SetEnabled(false);
    const size_t count = threads.size();
    Simulate::WaitUntil([] { return false; }, 40);
    EXPECT_EQ(threads.size(), count);
}

TEST(Application, RunEndsWhenTheMainFormCloses)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            TForm* main = nullptr;
            Application->CreateForm(main);
            main->SetCaption("Main");
            bool created = false;
            main->OnCreate = [&](TObject*) { created = true; };
            OneShot close(20, [&] { main->Close(); });
            Application->Run();
            std::exit(Application->Terminated() && Application->MainForm() == main ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(FormPlacement, CentredFormsSitInTheMiddleOfTheScreenOrTheirOwner)
{
    Owned<TForm> owner = NewForm();
    owner->SetBounds(40, 30, 500, 400);
    owner->Show();
    struct Case
    {
        TPosition Position;
        TForm* Owner;
        TPoint Expected;
    };
    const int32_t screenWidth = Screen->Width();
    const int32_t screenHeight = Screen->Height();
    ASSERT_GT(screenWidth, 200);
    const Case cases[] = {
        {poScreenCenter, nullptr, {(screenWidth - 200) / 2, (screenHeight - 100) / 2}},
        {poOwnerFormCenter, owner.get(), {40 + (500 - 200) / 2, 30 + (400 - 100) / 2}},
        {poDesigned, owner.get(), {7, 9}},
    };
    for (const Case& c : cases) {
        auto* form = new TForm(c.Owner);
        form->AfterConstruction();
        form->SetBounds(7, 9, 200, 100);
        form->SetPosition(c.Position);
        form->Show();
        EXPECT_EQ((TPoint{form->Left(), form->Top()}), c.Expected) << int(c.Position);
        EXPECT_EQ(form->Width(), 200);
        form->Free();
    }
    owner->Hide();
}

TEST(FormPlacement, APopupFloatsOnTheScreenAndIsFoundByItsHandle)
{
    Owned<TForm> form = NewForm();
    auto* hint = new TCustomControl(form.get());
    hint->SetParent(form.get());
    hint->SetWindowStyle(WS_POPUP | WS_BORDER, WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT);
    EXPECT_EQ(hint->Parent(), nullptr);
    hint->SetBounds(300, 200, 80, 20);
    hint->Show();
    EXPECT_TRUE(hint->Showing());
    EXPECT_EQ(hint->ClientToScreen(TPoint{0, 0}), (TPoint{300, 200}));
    hint->Repaint();
    EXPECT_EQ(hint->FrontImage()->Width(), 80);
    EXPECT_EQ(FindControl(hint->Handle()), hint);
    hint->Hide();
    EXPECT_FALSE(hint->Showing());
    const HWND handle = hint->Handle();
    hint->Free();
    EXPECT_EQ(FindControl(handle), nullptr);
}

TEST(EventHandlers, AnEscapedExceptionIsShownAndTheFormGoesOn)
{
    TScriptedDialogService dialogs;
    Owned<TForm> form = NewForm();
    auto* button = new TButton(form.get());
    button->SetParent(form.get());
    int calls = 0;
    button->OnClick = [&](TObject*) {
        if (++calls == 1) {
            throw EConvertError("'abc' is not a valid integer value");
        }
    };
    form->Show();
    Simulate::Click(button);
    Simulate::Click(button);
    EXPECT_EQ(calls, 2);
    const auto shown = dialogs.CallsOf(dkMessageBox);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].Text, "'abc' is not a valid integer value.");
    EXPECT_EQ(shown[0].Flags, uint32_t(MB_OK | MB_ICONSTOP));
    form->Hide();
}

TEST(EventHandlers, ProcessMessagesLetsQueuedWorkAndTheUserThrough)
{
    class TStarter : public TForm
    {
    public:
        using TForm::TForm;
        std::vector<int> Steps;
        bool Cancelled = false;
        void Dispatch(TMessage& Message) override
        {
            if (Message.Msg != WM_USER + 1000) {
                TForm::Dispatch(Message);
                return;
            }
            // A long run on the user-interface thread that stays responsive between steps.
            for (int step = 0; step < 5 && !Cancelled; ++step) {
                Steps.push_back(step);
                if (step == 1) {
                    PostMessage(Handle(), WM_USER + 1, 0, 0);
                }
                Application->ProcessMessages();
            }
            SetModalResult(Cancelled ? mrCancel : mrOk);
        }
    };
    auto* form = new TStarter(nullptr);
    Owned<TForm> owned(form);
    form->AfterConstruction();
    auto* cancel = new TSpeedButton(form);
    cancel->SetParent(form);
    cancel->OnClick = [&](TObject*) { form->Cancelled = true; };
    TApplicationEvents hook(nullptr);
    hook.OnMessage = [&](TMsg& msg, bool&) {
        if (msg.message == WM_USER + 1) {
            Simulate::Click(cancel);
        }
    };
    form->OnShow = [&](TObject*) { PostMessage(form->Handle(), WM_USER + 1000, 0, 0); };
    EXPECT_EQ(form->ShowModal(), mrCancel);
    EXPECT_EQ(form->Steps, (std::vector<int>{0, 1}));
}

TEST(FormLifetime, NonModalCloseActionsHideKeepOrMinimize)
{
    Owned<TForm> form = NewForm();
    TCloseAction chosen = caHide;
    form->OnClose = [&](TObject*, TCloseAction& action) { action = chosen; };
    form->Show();
    chosen = caNone;
    Simulate::CloseWindow(form.get());
    EXPECT_TRUE(form->Visible());
    chosen = caHide;
    Simulate::CloseWindow(form.get());
    EXPECT_FALSE(form->Visible());
    EXPECT_FALSE(Application->Terminated()) << "only closing the main form ends the program";
}

TEST(FormLifetime, ActivationMovesBetweenShowingForms)
{
    Owned<TForm> first = NewForm();
    Owned<TForm> second = NewForm();
    std::vector<std::string> events;
    first->OnActivate = [&](TObject*) { events.push_back("first on"); };
    first->OnDeactivate = [&](TObject*) { events.push_back("first off"); };
    second->OnActivate = [&](TObject*) { events.push_back("second on"); };
    second->OnDeactivate = [&](TObject*) { events.push_back("second off"); };
    first->Show();
    second->Show();
    EXPECT_EQ(Screen->ActiveForm(), second.get());
    first->BringToFront();
    EXPECT_EQ(Screen->ActiveForm(), first.get());
    first->Hide();
    EXPECT_EQ(Screen->ActiveForm(), second.get());
    second->Hide();
    EXPECT_EQ(Screen->ActiveForm(), nullptr);
    EXPECT_EQ(events, (std::vector<std::string>{"first on", "first off", "second on", "second off",
                                                "first on", "first off", "second on", "second off"}));
    EXPECT_GE(Screen->FormCount(), 2);
}

TEST(FormLifetime, TabMovesTheFocusInTabOrderAndShowingFocusesTheActiveControl)
{
    Owned<TForm> form = NewForm();
    auto* first = new TEdit(form.get());
    first->SetParent(form.get());
    auto* second = new TEdit(form.get());
    second->SetParent(form.get());
    auto* third = new TEdit(form.get());
    third->SetParent(form.get());
    third->SetTabOrder(0);
    EXPECT_EQ(third->TabOrder(), 0);
    EXPECT_EQ(first->TabOrder(), 1);
    form->SetActiveControl(second);
    form->Show();
    Simulate::ProcessEvents();
    EXPECT_TRUE(second->Focused());
    Simulate::Key(second, VK_TAB);
    EXPECT_TRUE(third->Focused()) << "after the last in the order comes the first";
    Simulate::Key(third, VK_TAB);
    EXPECT_TRUE(first->Focused());
    EXPECT_EQ(form->ActiveControl(), first);
    form->Hide();
}

TEST(Application, CreateFormRunsOnCreateAfterTheConstructorAndDoneApplicationFreesTheForms)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            static int destroyed = 0;
            class TMain : public TForm
            {
            public:
                explicit TMain(TComponent* AOwner) : TForm(AOwner)
                {
                    Loaded = 150;
                    OnCreate = [this](TObject*) { SeenInCreate = Loaded; };
                    OnDestroy = [](TObject*) { ++destroyed; };
                }
                int Loaded = 0;
                int SeenInCreate = 0;
            };
            TMain* main = nullptr;
            TForm* about = nullptr;
            Application->CreateForm(main);
            Application->CreateForm(about);
            about->OnDestroy = [](TObject*) { ++destroyed; };
            const bool ok =
                Application->MainForm() == main && main->SeenInCreate == 150 && about->Owner() == Application;
            DoneApplication();
            std::exit(ok && destroyed == 2 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(Messages, ManyWorkersPostingKeepEachWorkersOrder)
{
    class TCollector : public TCustomControl
    {
    public:
        using TCustomControl::TCustomControl;
        std::vector<std::vector<LPARAM>> ByWorker = std::vector<std::vector<LPARAM>>(4);
        size_t Total = 0;
        void Dispatch(TMessage& Message) override
        {
            if (Message.Msg == WM_USER + 7) {
                ByWorker[Message.WParam].push_back(Message.LParam);
                ++Total;
                return;
            }
            TCustomControl::Dispatch(Message);
        }
    };
    Owned<TCollector> collector(new TCollector(nullptr));
    const HWND handle = collector->Handle();
    std::vector<std::thread> workers;
    for (WPARAM worker = 0; worker < 4; ++worker) {
        workers.emplace_back([handle, worker] {
            for (LPARAM i = 0; i < 200; ++i) {
                PostMessage(handle, WM_USER + 7, worker, i);
            }
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    ASSERT_TRUE(Simulate::WaitUntil([&] { return collector->Total == 800; }));
    for (const std::vector<LPARAM>& received : collector->ByWorker) {
        ASSERT_EQ(received.size(), 200u);
        for (LPARAM i = 0; i < 200; ++i) {
            EXPECT_EQ(received[size_t(i)], i);
        }
    }
}

TEST(Messages, SynchronizeIsServedWhileAModalFormShows)
{
    Owned<TForm> form = NewForm();
    class TWorker : public TThread
    {
    public:
        TWorker() : TThread(true) {}
        std::function<void()> Call;

    protected:
        void Execute() override { Synchronize(Call); }
    };
    TWorker worker;
    worker.Call = [&] { form->SetModalResult(mrIgnore); };
    form->OnShow = [&](TObject*) { worker.Start(); };
    EXPECT_EQ(form->ShowModal(), mrIgnore);
    worker.WaitFor();
}

TEST(ApplicationHook, MouseButtonsArriveWithClientCoordinates)
{
    Owned<TForm> form = NewForm();
    auto* panel = new TPanel(form.get());
    panel->SetParent(form.get());
    panel->SetBounds(20, 20, 100, 50);
    form->Show();
    Owned<TApplicationEvents> hook(new TApplicationEvents(nullptr));
    std::vector<std::tuple<uint32_t, int16_t, int16_t>> seen;
    int panelClicks = 0;
    panel->OnClick = [&](TObject*) { ++panelClicks; };
    hook->OnMessage = [&](TMsg& msg, bool& handled) {
        if (msg.hwnd == panel->Handle()) {
            seen.emplace_back(msg.message, int16_t(LOWORD(uintptr_t(msg.lParam))),
                              int16_t(HIWORD(uintptr_t(msg.lParam))));
            handled = msg.message == WM_RBUTTONDOWN;
        }
    };
    Simulate::Click(panel, 5, 6);
    Simulate::MouseDown(panel, mbRight, 7, 8);
    EXPECT_EQ(seen, (std::vector<std::tuple<uint32_t, int16_t, int16_t>>{
                        {WM_LBUTTONDOWN, 5, 6}, {WM_LBUTTONUP, 5, 6}, {WM_RBUTTONDOWN, 7, 8}}));
    EXPECT_EQ(panelClicks, 1);
    form->Hide();
}

TEST(Application, EveryWindowShowsTheProgramsIcon)
{
    const std::string icon = std::string(KV_SOURCE_DIR) + "/data/plimbet.png";
    EXPECT_FALSE(Application->LoadIcon(std::string(KV_SOURCE_DIR) + "/data/no-such-icon.png"));
    ASSERT_TRUE(Application->LoadIcon(icon));
    EXPECT_EQ(Application->IconFile(), icon);
    const QImage expected = QIcon(QString::fromStdString(icon)).pixmap(32, 32).toImage();
    ASSERT_FALSE(expected.isNull());
    // Main windows, dialogs and tool windows alike, made before or after the icon was loaded.
    for (const TFormBorderStyle border : {bsSizeable, bsSingle, bsDialog, bsToolWindow}) {
        Owned<TForm> form = NewForm();
        form->SetBorderStyle(border);
        form->Show();
        EXPECT_EQ(form->Widget()->windowIcon().pixmap(32, 32).toImage(), expected) << int(border);
        form->Hide();
    }
    EXPECT_FALSE(Application->LoadIcon(""));
    EXPECT_EQ(Application->IconFile(), icon);
}

TEST(TaskWindows, TheGuardDisablesTheEnabledFormsAndGivesBackOnlyThoseItTookThatStillExist)
{
    Owned<TForm> enabled = NewForm();
    Owned<TForm> disabledBefore = NewForm();
    disabledBefore->SetEnabled(false);
    auto* freedMeanwhile = new TForm(nullptr);
    freedMeanwhile->AfterConstruction();
    for (TForm* form : {enabled.get(), disabledBefore.get(), freedMeanwhile}) {
        form->Show();
    }
    {
        TTaskWindowsDisabler guard;
        EXPECT_FALSE(enabled->Enabled());
        EXPECT_FALSE(disabledBefore->Enabled());
        EXPECT_FALSE(freedMeanwhile->Enabled());
        freedMeanwhile->Free();
        // A form made during the operation is not the guard's to enable.
        Owned<TForm> madeMeanwhile = NewForm();
        madeMeanwhile->SetEnabled(false);
    }
    EXPECT_TRUE(enabled->Enabled());
    EXPECT_FALSE(disabledBefore->Enabled());
}
