// TApplication, TApplicationEvents and TScreen: the message loop, the message hook, exception
// display, help, the screen's forms, cursors and metrics.
#include "platform/forms/application.h"

#include <QApplication>
#include <QBitmap>
#include <QCursor>
#include <QEventLoop>
#include <QFont>
#include <QIcon>
#include <QPixmap>
#include <QScreen>
#include <QStyle>
#include <algorithm>
#include <map>

#include "platform/core/exceptions.h"
#include "platform/forms/detail/qt_bridge.h"
#include "platform/forms/dialog_service.h"
#include "platform/forms/form.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

TApplication* Application = new TApplication(nullptr);
TScreen* Screen = new TScreen(nullptr);

namespace {

std::vector<QEventLoop*> gLoops;
std::map<TCursor, QCursor>& CursorShapes()
{
    static auto* shapes = new std::map<TCursor, QCursor>;
    return *shapes;
}

} // namespace

namespace FormsDetail {

void PushEventLoop(QEventLoop* Loop)
{
    gLoops.push_back(Loop);
}

void PopEventLoop(QEventLoop* Loop)
{
    gLoops.erase(std::remove(gLoops.begin(), gLoops.end(), Loop), gLoops.end());
}

void ExitEventLoops()
{
    for (QEventLoop* loop : gLoops) {
        loop->exit();
    }
}

QCursor CursorOf(TCursor Cursor)
{
    switch (Cursor) {
    case crNone:
        return QCursor(Qt::BlankCursor);
    case crCross:
        return QCursor(Qt::CrossCursor);
    case crIBeam:
        return QCursor(Qt::IBeamCursor);
    case crSizeNESW:
        return QCursor(Qt::SizeBDiagCursor);
    case crSizeNS:
        return QCursor(Qt::SizeVerCursor);
    case crSizeNWSE:
        return QCursor(Qt::SizeFDiagCursor);
    case crSizeWE:
        return QCursor(Qt::SizeHorCursor);
    case crUpArrow:
        return QCursor(Qt::UpArrowCursor);
    case crHourGlass:
    case crSQLWait:
        return QCursor(Qt::WaitCursor);
    case crDrag:
    case crMultiDrag:
        return QCursor(Qt::DragCopyCursor);
    case crNoDrop:
    case crNo:
        return QCursor(Qt::ForbiddenCursor);
    case crHSplit:
        return QCursor(Qt::SplitHCursor);
    case crVSplit:
        return QCursor(Qt::SplitVCursor);
    case crAppStart:
        return QCursor(Qt::BusyCursor);
    case crHelp:
        return QCursor(Qt::WhatsThisCursor);
    case crHandPoint:
        return QCursor(Qt::PointingHandCursor);
    case crSizeAll:
        return QCursor(Qt::SizeAllCursor);
    default:
        break;
    }
    auto found = CursorShapes().find(Cursor);
    return found != CursorShapes().end() ? found->second : QCursor(Qt::ArrowCursor);
}

QColor QtColorOf(TColor Color)
{
    const COLORREF rgb = static_cast<COLORREF>(ColorToRGB(Color));
    return QColor(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
}

QFont QtFontOf(const TFont& Font)
{
    QFont font(ToQ(TFont::ResolvedFamily(Font.Name())));
    const int32_t height = Font.Height();
    font.setPixelSize(height < 0 ? -height : (height > 0 ? height : 11));
    const TFontStyles style = Font.Style();
    font.setBold(style.Contains(fsBold));
    font.setItalic(style.Contains(fsItalic));
    font.setUnderline(style.Contains(fsUnderline));
    font.setStrikeOut(style.Contains(fsStrikeOut));
    return font;
}

} // namespace FormsDetail

using namespace FormsDetail;

// ---------------------------------------------------------------------------------------------
// TApplication

TApplication::TApplication(TComponent* AOwner) : TComponent(AOwner) {}

TApplication::~TApplication() = default;

void TApplication::Initialize()
{
    if (FInitialized) {
        return;
    }
    FInitialized = true;
    EnsureQtApplication();
}

void TApplication::AddForm(TForm* Form)
{
    if (!FMainForm) {
        FMainForm = Form;
    }
    Form->AfterConstruction();
}

void TApplication::Notification(TComponent* AComponent, TOperation Operation)
{
    TComponent::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == FMainForm) {
        FMainForm = nullptr;
    }
}

void TApplication::Run()
{
    Initialize();
    if (FMainForm && FShowMainForm) {
        FMainForm->Show();
    }
    QEventLoop loop;
    PushEventLoop(&loop);
    while (!FTerminated) {
        loop.exec();
    }
    PopEventLoop(&loop);
}

void TApplication::ProcessMessages()
{
    Initialize();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TApplication::HandleMessage()
{
    Initialize();
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void TApplication::Terminate()
{
    FTerminated = true;
    ExitEventLoops();
}

void TApplication::SetTitle(const std::string& Value)
{
    FTitle = Value;
}

bool TApplication::LoadIcon(const std::string& FileName)
{
    Initialize();
    const QPixmap picture(ToQ(FileName));
    if (picture.isNull()) {
        return false;
    }
    QApplication::setWindowIcon(QIcon(picture));
    FIconFile = FileName;
    return true;
}

int32_t TApplication::MessageBox(const std::string& Text, const std::string& Caption, uint32_t Flags)
{
    Initialize();
    return DialogService().MessageBox(Text, Caption.empty() ? FTitle : Caption, Flags);
}

void TApplication::HelpShowTopic(const std::string& Topic)
{
    if (TForm* form = Screen->ActiveForm(); form && form->OnHelp) {
        bool callHelp = true;
        if (form->OnHelp(0, 0, callHelp) || !callHelp) {
            return;
        }
    }
    DialogService().ShowHelpTopic(FHelpFile, Topic);
}

void TApplication::HandleException(TObject* Sender)
{
    std::exception_ptr current = std::current_exception();
    if (!current) {
        return;
    }
    try {
        try {
            std::rethrow_exception(current);
        } catch (const EAbort&) {
            return;
        } catch (const std::exception& error) {
            if (OnException) {
                OnException(Sender, error);
            } else {
                ShowException(error);
            }
        } catch (...) {
            const Exception error("An unknown exception occurred");
            if (OnException) {
                OnException(Sender, error);
            } else {
                ShowException(error);
            }
        }
    } catch (...) {
        // A failing display must not take the message loop down with it.
    }
}

void TApplication::ShowException(const std::exception& E)
{
    std::string text = E.what();
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') {
        text += '.';
    }
    MessageBox(text, FTitle, MB_OK | MB_ICONSTOP);
}

bool TApplication::DispatchHook(TMsg& Msg)
{
    bool handled = false;
    if (OnMessage) {
        OnMessage(Msg, handled);
    }
    const std::vector<TApplicationEvents*> events = FEvents;
    for (TApplicationEvents* hook : events) {
        if (!handled && hook->OnMessage && std::find(FEvents.begin(), FEvents.end(), hook) != FEvents.end()) {
            hook->OnMessage(Msg, handled);
        }
    }
    return handled;
}

void TApplication::AddEvents(TApplicationEvents* Events)
{
    FEvents.push_back(Events);
}

void TApplication::RemoveEvents(TApplicationEvents* Events)
{
    FEvents.erase(std::remove(FEvents.begin(), FEvents.end(), Events), FEvents.end());
}

TApplicationEvents::TApplicationEvents(TComponent* AOwner) : TComponent(AOwner)
{
    Application->AddEvents(this);
}

TApplicationEvents::~TApplicationEvents()
{
    Application->RemoveEvents(this);
}

// ---------------------------------------------------------------------------------------------
// TScreen

TScreen::TScreen(TComponent* AOwner) : TComponent(AOwner) {}

TScreen::~TScreen() = default;

TForm* TScreen::ActiveForm() const
{
    return FLastActive;
}

TForm* TScreen::Forms(int32_t Index) const
{
    if (Index < 0 || Index >= FormCount()) {
        throw EListError("Form index out of bounds");
    }
    return FForms[static_cast<size_t>(Index)];
}

void TScreen::AddForm(TForm* Form)
{
    if (std::find(FForms.begin(), FForms.end(), Form) == FForms.end()) {
        FForms.push_back(Form);
        FActivation.push_back(Form);
    }
}

void TScreen::RemoveForm(TForm* Form)
{
    FForms.erase(std::remove(FForms.begin(), FForms.end(), Form), FForms.end());
    FActivation.erase(std::remove(FActivation.begin(), FActivation.end(), Form), FActivation.end());
    if (FLastActive == Form) {
        FLastActive = nullptr;
        FormActivated(nullptr);
    }
}

void TScreen::FormActivated(TForm* Form)
{
    if (Form) {
        FActivation.erase(std::remove(FActivation.begin(), FActivation.end(), Form), FActivation.end());
        FActivation.insert(FActivation.begin(), Form);
    }
    // The most recently activated form that is showing is the active one.
    TForm* active = nullptr;
    for (TForm* form : FActivation) {
        if (form->Visible()) {
            active = form;
            break;
        }
    }
    if (active == FLastActive) {
        return;
    }
    TForm* previous = FLastActive;
    FLastActive = active;
    if (previous) {
        previous->Activated(false);
    }
    if (active) {
        active->Activated(true);
    }
}

void TScreen::SetCursor(TCursor Value)
{
    if (FCursor == Value) {
        return;
    }
    FCursor = Value;
    EnsureQtApplication();
    while (QApplication::overrideCursor()) {
        QApplication::restoreOverrideCursor();
    }
    if (Value != crDefault) {
        QApplication::setOverrideCursor(CursorOf(Value));
    }
}

bool TScreen::SetCursorShape(TCursor Id, const TBitmap& AndMask, const TBitmap& XorMask, int32_t HotX,
                             int32_t HotY)
{
    if (Id <= 0 || AndMask.PixelFormat() != pf1bit || XorMask.PixelFormat() != pf1bit ||
        AndMask.Width() != XorMask.Width() || AndMask.Height() != XorMask.Height() || AndMask.Empty()) {
        return false;
    }
    EnsureQtApplication();
    const int width = AndMask.Width();
    const int height = AndMask.Height();
    QImage shape(width, height, QImage::Format_MonoLSB);
    QImage mask(width, height, QImage::Format_MonoLSB);
    shape.fill(0);
    mask.fill(0);
    for (int y = 0; y < height; ++y) {
        const uint8_t* andRow = AndMask.ScanLine(y);
        const uint8_t* xorRow = XorMask.ScanLine(y);
        for (int x = 0; x < width; ++x) {
            const bool andBit = (andRow[x >> 3] >> (7 - (x & 7))) & 1;
            const bool xorBit = (xorRow[x >> 3] >> (7 - (x & 7))) & 1;
            // Qt's pair: shape 1 with mask 1 is black, 0 with 1 white, 0 with 0 transparent and
            // 1 with 0 inverted; a Windows AND/XOR pair gives the same four cases this way.
            shape.setPixel(x, y, andBit == xorBit ? 1 : 0);
            mask.setPixel(x, y, andBit ? 0 : 1);
        }
    }
    CursorShapes()[Id] = QCursor(QBitmap::fromImage(shape), QBitmap::fromImage(mask),
                                 std::clamp(HotX, 0, width - 1), std::clamp(HotY, 0, height - 1));
    return true;
}

bool TScreen::HasCursorShape(TCursor Id) const
{
    return CursorShapes().count(Id) != 0;
}

int32_t TScreen::Width() const
{
    EnsureQtApplication();
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().width() : 0;
}

int32_t TScreen::Height() const
{
    EnsureQtApplication();
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().height() : 0;
}

int32_t TScreen::PixelsPerInch() const
{
    return kScreenPixelsPerInch;
}

void DoneApplication()
{
    if (Application) {
        Application->DestroyComponents();
    }
    while (Screen && Screen->FormCount() > 0) {
        Screen->Forms(Screen->FormCount() - 1)->Free();
    }
    DestroyQtApplication();
}

int32_t GetSystemMetrics(int32_t Index)
{
    switch (Index) {
    case SM_CXSCREEN:
        return Screen->Width();
    case SM_CYSCREEN:
        return Screen->Height();
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
        EnsureQtApplication();
        return QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    case SM_CXBORDER:
    case SM_CYBORDER:
        return 1;
    case SM_CXEDGE:
    case SM_CYEDGE:
        return 2;
    default:
        return 0;
    }
}
