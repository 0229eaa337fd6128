#include "platform/ui/forms.h"

#include <algorithm>

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QDialog>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QKeyEvent>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>

#include "platform/ui/controls_p.h"
#include "platform/ui/menus.h"
#include "platform/ui/stdctrls.h"
#include "platform/win/messages.h"
#include "platform/win/program.h"
#include "platform/win/pump.h"

namespace ui {

using detail::Q;
using detail::S;

namespace {

// Room a window manager takes in a title bar beside the caption: the icon,
// the buttons and the margins.
constexpr int kTitleButtons = 140;

// The window of a form: closing asks the form, Escape and Enter press its
// Cancel and Default buttons, and showing, hiding and activation raise the
// form's events.
class TFormWidget : public QDialog {
public:
    explicit TFormWidget(TForm* form) : form_(form) {}

protected:
    void closeEvent(QCloseEvent* e) override {
        e->ignore();
        SafeCall([this] { form_->Close(); });
    }
    void keyPressEvent(QKeyEvent* e) override {
        if (e->key() == Qt::Key_Escape || e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
            if (e->modifiers() == Qt::NoModifier || e->modifiers() == Qt::KeypadModifier) {
                form_->DefaultKey(e->key() == Qt::Key_Escape);
                return;
            }
        }
        QWidget::keyPressEvent(e);
    }
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    TForm* form_;
};

class TFormClient : public QWidget {
public:
    explicit TFormClient(TForm* form) : form_(form) {}

protected:
    void paintEvent(QPaintEvent*) override {
        if (form_->OnPaint) SafeCall([this] { form_->OnPaint(form_); });
    }

private:
    TForm* form_;
};

TButton* findButton(TWinControl* in, bool cancel) {
    for (int i = 0; i < in->ControlCount(); ++i) {
        TControl* c = in->Controls(i);
        if (!c->Visible() || !c->Enabled()) continue;
        if (auto* b = dynamic_cast<TButton*>(c); b && (cancel ? b->Cancel() : b->Default())) return b;
        if (auto* wc = dynamic_cast<TWinControl*>(c))
            if (TButton* b = findButton(wc, cancel)) return b;
    }
    return nullptr;
}

void centre(QWidget* w, const QRect& on) {
    w->move(on.left() + (on.width() - w->width()) / 2, on.top() + (on.height() - w->height()) / 2);
}

}  // namespace

struct TFormPrivate {
    TFormWidget* window = nullptr;
    TFormClient* client = nullptr;
    QVBoxLayout* layout = nullptr;
    TModalResult modalResult = mrNone;
    bool keyPreview = false;
    bool modal = false;
    bool placed = false;
    TPosition position = poDesigned;
    TFormBorderStyle borderStyle = bsSizeable;
    TFormStyle formStyle = fsNormal;
    TWindowState windowState = wsNormal;
    TMainMenu* menu = nullptr;
};

void TFormWidget::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (e->spontaneous()) return;
    if (form_->OnShow) SafeCall([this] { form_->OnShow(form_); });
}

void TFormWidget::hideEvent(QHideEvent* e) {
    QDialog::hideEvent(e);
    if (e->spontaneous()) return;
    if (form_->OnHide) SafeCall([this] { form_->OnHide(form_); });
}

void TFormWidget::changeEvent(QEvent* e) {
    QDialog::changeEvent(e);
    if (e->type() != QEvent::ActivationChange) return;
    if (isActiveWindow() && !isVisible()) {
        // Shown and hidden at once, the window can be told it is active
        // after it has gone: every key would go to a window nobody sees.
        // The main window takes them while it is on the screen.
        TForm* main = Application ? Application->MainForm() : nullptr;
        QWidget* other = main && main != form_ ? main->Widget() : nullptr;
        if (other && other->isVisible()) {
            QApplication::setActiveWindow(other);
            other->activateWindow();
        }
        return;
    }
    const auto& handler = isActiveWindow() ? form_->OnActivate : form_->OnDeactivate;
    if (handler) SafeCall([&] { handler(form_); });
}

// ---------------------------------------------------------------- TForm

void TSizeConstraints::set(int i, int v) {
    v_[i] = std::max(0, v);
    form_->applyConstraints();
}

TForm::TForm(rtl::TComponent* owner) : TWinControl(owner), f_(std::make_unique<TFormPrivate>()) {
    f_->window = new TFormWidget(this);
    f_->layout = new QVBoxLayout(f_->window);
    f_->layout->setContentsMargins(0, 0, 0, 0);
    f_->layout->setSpacing(0);
    f_->client = new TFormClient(this);
    f_->layout->addWidget(f_->client);
    d_->visible = false;
    SetWidget(f_->window, true);
    AddEventWidget(f_->client);
    SetPassiveMouse(true);
    f_->window->resize(400, 300);
}

TForm::~TForm() {
    BeginDestroy();
    Application->FormDestroyed(this);
}

QWidget* TForm::ClientWidget() const { return f_ ? f_->client : nullptr; }

std::string TForm::getCaption() const { return S(f_->window->windowTitle()); }
void TForm::setCaption(std::string v) { f_->window->setWindowTitle(Q(v)); }
TModalResult TForm::getModalResult() const { return f_->modalResult; }
void TForm::setModalResult(TModalResult v) { f_->modalResult = v; }
bool TForm::getKeyPreview() const { return f_->keyPreview; }
void TForm::setKeyPreview(bool v) { f_->keyPreview = v; }
TPosition TForm::getPosition() const { return f_->position; }
void TForm::setPosition(TPosition v) { f_->position = v; }
TFormBorderStyle TForm::getBorderStyle() const { return f_->borderStyle; }

void TForm::setBorderStyle(TFormBorderStyle v) {
    f_->borderStyle = v;
    const bool tool = v == bsToolWindow || v == bsSizeToolWin;
    f_->window->setWindowFlag(Qt::Tool, tool);
    f_->window->setWindowFlag(Qt::FramelessWindowHint, v == bsNone);
}

TFormStyle TForm::getFormStyle() const { return f_->formStyle; }

void TForm::setFormStyle(TFormStyle v) {
    f_->formStyle = v;
    const bool shown = f_->window->isVisible();
    f_->window->setWindowFlag(Qt::WindowStaysOnTopHint, v == fsStayOnTop);
    if (shown) f_->window->show();
}

TWindowState TForm::getWindowState() const { return f_->windowState; }

void TForm::setWindowState(TWindowState v) {
    f_->windowState = v;
    static const Qt::WindowState kStates[] = {Qt::WindowNoState, Qt::WindowMinimized, Qt::WindowMaximized};
    f_->window->setWindowState(kStates[v]);
}

TMainMenu* TForm::getMenu() const { return f_->menu; }

void TForm::setMenu(TMainMenu* v) {
    f_->menu = v;
    f_->layout->setMenuBar(v ? v->MenuBar() : nullptr);
}

TWinControl* TForm::getActiveControl() const {
    QWidget* f = QApplication::focusWidget();
    if (!f || !f_->window->isAncestorOf(f)) return nullptr;
    return dynamic_cast<TWinControl*>(FromWidget(f));
}

void TForm::setActiveControl(TWinControl* v) {
    if (v) v->SetFocus();
}

void TForm::applyConstraints() {
    const TSizeConstraints& c = constraints_;
    f_->window->setMinimumSize(c.MinWidth, c.MinHeight);
    f_->window->setMaximumSize(c.MaxWidth > 0 ? c.MaxWidth() : QWIDGETSIZE_MAX,
                               c.MaxHeight > 0 ? c.MaxHeight() : QWIDGETSIZE_MAX);
}

void TForm::placeOnShow() {
    if (f_->placed) return;
    f_->placed = true;
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect screenRect = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    TForm* over = nullptr;
    if (f_->position == poMainFormCenter) over = Application->MainForm();
    if (f_->position == poOwnerFormCenter) over = dynamic_cast<TForm*>(Owner());
    if (over && over != this && over->Widget()->isVisible()) centre(f_->window, over->Widget()->geometry());
    else if (f_->position != poDesigned) centre(f_->window, screenRect);
}

// A window narrower than its caption shows it cut in its title bar: it
// grows (never past the screen or its largest width) to hold it beside the
// window manager's buttons.
void TForm::fitCaption() {
    QWidget* w = f_->window;
    QFont title = w->font();
    title.setBold(true);
    const int need = QFontMetrics(title).horizontalAdvance(w->windowTitle()) + kTitleButtons;
    if (need <= w->width()) return;
    QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    const int room = screen ? screen->availableGeometry().width() - 20 : need;
    const int width = std::min({need, room, w->maximumWidth()});
    if (width > w->width()) w->resize(width, w->height());
}

void TForm::SetVisible(bool v) {
    d_->visible = v;
    if (!v) {
        f_->window->hide();
        return;
    }
    fitCaption();
    placeOnShow();
    f_->window->layout()->activate();
    AlignControls();
    f_->window->show();
    f_->window->raise();
    f_->window->activateWindow();
}

bool TForm::Modal() const { return f_->modal; }
bool TForm::Active() const { return f_->window->isActiveWindow(); }

QImage TForm::ScreenImage() const {
    QScreen* screen = f_->window->screen();
    if (!screen) return QImage();
    const QRect r(f_->window->mapToGlobal(QPoint(0, 0)), f_->window->size());
    return screen->grabWindow(0, r.x(), r.y(), r.width(), r.height()).toImage();
}

bool TForm::CloseQuery() {
    bool canClose = true;
    if (OnCloseQuery) SafeCall([&] { OnCloseQuery(this, canClose); });
    return canClose;
}

void TForm::Close() {
    if (f_->modal) {
        if (f_->modalResult == mrNone) f_->modalResult = mrCancel;
        return;
    }
    if (!CloseQuery()) return;
    const TCloseAction action = closeAction();
    if (action == caNone) return;
    if (action == caMinimize) {
        f_->window->showMinimized();
        return;
    }
    SetVisible(false);
    if (Application->MainForm() == this) Application->Terminate();
    if (action == caFree) QTimer::singleShot(0, f_->window, [this] { delete this; });
}

TModalResult TForm::ShowModal() {
    if (f_->modal || d_->visible) throw EInvalidOperation("Cannot make a visible window modal");
    return Answerer().ShowModal(*this);
}

void TForm::BeginModal() {
    f_->modal = true;
    f_->modalResult = mrNone;
    f_->window->setWindowModality(Qt::ApplicationModal);
    SetVisible(true);
}

bool TForm::tryEndModal() {
    if (win::Terminated() || !d_->visible) {
        if (f_->modalResult == mrNone) f_->modalResult = mrCancel;
        return true;
    }
    if (f_->modalResult == mrNone) return false;
    if (CloseQuery()) return true;
    f_->modalResult = mrNone;
    return false;
}

TCloseAction TForm::closeAction() {
    TCloseAction action = caHide;
    if (OnClose) SafeCall([&] { OnClose(this, action); });
    return action;
}

TModalResult TForm::finishModal() {
    if (f_->modalResult == mrNone) f_->modalResult = mrCancel;
    f_->modal = false;
    SetVisible(false);
    // Only a hidden window can change its modality.
    f_->window->setWindowModality(Qt::NonModal);
    return f_->modalResult;
}

TModalResult TForm::RunModalLoop() {
    for (;;) {
        win::PumpUntil([this] { return tryEndModal(); }, -1);
        // OnClose may keep the window open (caNone) unless it is gone already.
        if (closeAction() != caNone || win::Terminated() || !d_->visible) break;
        f_->modalResult = mrNone;
    }
    return finishModal();
}

TModalResult TForm::EndModal(TModalResult result) {
    if (result != mrNone) f_->modalResult = result;
    closeAction();
    return finishModal();
}

void TForm::DefaultKey(bool escape) {
    if (TButton* b = findButton(this, escape)) b->Click();
}

// --------------------------------------------------------- TApplication

namespace {

TApplication applicationObject;
TScreen screenObject;

void destroyForms() {
    while (applicationObject.ComponentCount() > 0)
        delete applicationObject.Components(applicationObject.ComponentCount() - 1);
}

}  // namespace

TApplication* const Application = &applicationObject;
TScreen* const Screen = &screenObject;

void TApplication::Initialize() {
    win::SetUnhandledExceptionHook([](const std::exception& e) { Application->HandleException(e); });
}

void TApplication::formCreated(TForm* form) {
    if (!mainForm_) mainForm_ = form;
    if (cleanupArmed_) return;
    cleanupArmed_ = true;
    // Forms must go while the Qt application still exists.
    qAddPostRoutine([] {
        destroyForms();
        applicationObject.mainForm_ = nullptr;
        applicationObject.cleanupArmed_ = false;
    });
}

void TApplication::Run() {
    if (mainForm_) mainForm_->Show();
    win::MessageLoop();
}

void TApplication::ProcessMessages() { win::ProcessMessages(); }
void TApplication::Terminate() { win::PostQuitMessage(0); }
bool TApplication::Terminated() const { return win::Terminated(); }

void TApplication::BringToFront() {
    TForm* f = Screen->ActiveForm();
    if (!f) f = mainForm_;
    if (f && f->Widget()->isVisible()) f->BringToFront();
}

void TApplication::HandleException(const std::exception& e) {
    if (OnException) {
        try {
            OnException(this, e);
            return;
        } catch (const std::exception& again) {
            ShowException(again);
            return;
        }
    }
    ShowException(e);
}

void TApplication::ShowException(const std::exception& e) {
    MessageDlg(e.what(), mtError, mbOK, title_.empty() ? std::string("Error") : title_);
}

void TApplication::ShowHintAt(TPoint screenPos, const std::string& text) {
    if (text.empty()) {
        QToolTip::hideText();
        return;
    }
    QToolTip::showText(QPoint(screenPos.X, screenPos.Y), detail::DisplayText(text), nullptr, QRect(), hintHidePause_);
}

std::string TApplication::ExeName() const { return win::ProgramPath(); }

// -------------------------------------------------------------- TScreen

int TScreen::getWidth() const {
    QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->geometry().width() : 0;
}

int TScreen::getHeight() const {
    QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->geometry().height() : 0;
}

void TScreen::setCursor(TCursor v) {
    cursor_ = v;
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
    if (v == crHourGlass) QApplication::setOverrideCursor(Qt::WaitCursor);
    else if (v != crDefault) QApplication::setOverrideCursor(Qt::ArrowCursor);
}

TForm* TScreen::getActiveForm() const {
    return dynamic_cast<TForm*>(TControl::FromWidget(QApplication::activeWindow()));
}

}  // namespace ui
