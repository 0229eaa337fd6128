#pragma once
// Windows (forms), the application object and the screen.
//
// A form's Width and Height are its window's inner size; ClientWidth and
// ClientHeight leave out the main menu. Forms start hidden. ShowModal runs
// through the answerer (answerer.h) and returns the modal result; a button
// with a ModalResult, or setting ModalResult, ends a modal showing once
// OnCloseQuery allows it.
#include <functional>
#include <string>

#include "platform/ui/answerer.h"
#include "platform/ui/controls.h"

class QImage;

namespace ui {

class TMainMenu;

RTL_EXCEPTION_CLASS(EInvalidOperation, rtl::Exception);

enum TCloseAction { caNone, caHide, caFree, caMinimize };
enum TPosition { poDesigned, poDefault, poScreenCenter, poMainFormCenter, poOwnerFormCenter };
enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TFormStyle { fsNormal, fsStayOnTop };
enum TWindowState { wsNormal, wsMinimized, wsMaximized };

using TCloseEvent = std::function<void(rtl::TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(rtl::TObject* Sender, bool& CanClose)>;

class TForm;

// Size limits of a form; 0 is no limit.
class TSizeConstraints {
    int get(int i) const { return v_[i]; }
    void set(int i, int v);
    int getMinWidth() const { return v_[0]; }
    void setMinWidth(int v) { set(0, v); }
    int getMinHeight() const { return v_[1]; }
    void setMinHeight(int v) { set(1, v); }
    int getMaxWidth() const { return v_[2]; }
    void setMaxWidth(int v) { set(2, v); }
    int getMaxHeight() const { return v_[3]; }
    void setMaxHeight(int v) { set(3, v); }

    TForm* form_;
    int v_[4] = {0, 0, 0, 0};

public:
    explicit TSizeConstraints(TForm* form) : form_(form) {}
    TSizeConstraints(const TSizeConstraints&) = delete;
    TProp<TSizeConstraints, int, &TSizeConstraints::getMinWidth, &TSizeConstraints::setMinWidth> MinWidth{this};
    TProp<TSizeConstraints, int, &TSizeConstraints::getMinHeight, &TSizeConstraints::setMinHeight> MinHeight{this};
    TProp<TSizeConstraints, int, &TSizeConstraints::getMaxWidth, &TSizeConstraints::setMaxWidth> MaxWidth{this};
    TProp<TSizeConstraints, int, &TSizeConstraints::getMaxHeight, &TSizeConstraints::setMaxHeight> MaxHeight{this};
};

struct TFormPrivate;

class TForm : public TWinControl {
    std::unique_ptr<TFormPrivate> f_;
    TSizeConstraints constraints_{this};

    std::string getCaption() const;
    void setCaption(std::string v);
    TModalResult getModalResult() const;
    void setModalResult(TModalResult v);
    bool getKeyPreview() const;
    void setKeyPreview(bool v);
    TPosition getPosition() const;
    void setPosition(TPosition v);
    TFormBorderStyle getBorderStyle() const;
    void setBorderStyle(TFormBorderStyle v);
    TFormStyle getFormStyle() const;
    void setFormStyle(TFormStyle v);
    TWindowState getWindowState() const;
    void setWindowState(TWindowState v);
    TMainMenu* getMenu() const;
    void setMenu(TMainMenu* v);
    TWinControl* getActiveControl() const;
    void setActiveControl(TWinControl* v);
    bool getDoubleBuffered() const { return true; }
    void setDoubleBuffered(bool) {}

public:
    explicit TForm(rtl::TComponent* owner);
    ~TForm() override;
    const char* ClassName() const override { return "TForm"; }

    TProp<TForm, std::string, &TForm::getCaption, &TForm::setCaption> Caption{this};
    TProp<TForm, TModalResult, &TForm::getModalResult, &TForm::setModalResult> ModalResult{this};
    // With KeyPreview the form's key events run before those of the
    // focused control, and can swallow the key.
    TProp<TForm, bool, &TForm::getKeyPreview, &TForm::setKeyPreview> KeyPreview{this};
    TProp<TForm, TPosition, &TForm::getPosition, &TForm::setPosition> Position{this};
    TProp<TForm, TFormBorderStyle, &TForm::getBorderStyle, &TForm::setBorderStyle> BorderStyle{this};
    TProp<TForm, TFormStyle, &TForm::getFormStyle, &TForm::setFormStyle> FormStyle{this};
    TProp<TForm, TWindowState, &TForm::getWindowState, &TForm::setWindowState> WindowState{this};
    TProp<TForm, TMainMenu*, &TForm::getMenu, &TForm::setMenu> Menu{this};
    TProp<TForm, TWinControl*, &TForm::getActiveControl, &TForm::setActiveControl> ActiveControl{this};
    // Always on: Qt paints double-buffered.
    TProp<TForm, bool, &TForm::getDoubleBuffered, &TForm::setDoubleBuffered> DoubleBuffered{this};
    TPart<TSizeConstraints> Constraints{&constraints_};

    void SetVisible(bool v) override;
    TModalResult ShowModal();
    // Asks OnCloseQuery, then OnClose; hides the form (or ends its modal
    // showing). Closing the main form ends the application.
    void Close();
    bool CloseQuery();
    // True while shown modally.
    bool Modal() const;
    bool Active() const;
    // The window's inner area as the screen shows it now (read back from the
    // display, not drawn for the purpose): what a person sees there.
    QImage ScreenImage() const;

    rtl::TNotifyEvent OnShow;
    rtl::TNotifyEvent OnHide;
    TCloseEvent OnClose;
    TCloseQueryEvent OnCloseQuery;
    rtl::TNotifyEvent OnActivate;
    rtl::TNotifyEvent OnDeactivate;
    rtl::TNotifyEvent OnPaint;

    // Library use: the parts of a modal showing, for the answerers.
    void BeginModal();
    // Ends a modal showing with Result (the form's ModalResult when
    // mrNone, and mrCancel when that is mrNone too): runs OnClose (which
    // cannot keep the window here), hides.
    TModalResult EndModal(TModalResult result);
    // Pumps the loop until the modal showing ends; never spins.
    TModalResult RunModalLoop();
    QWidget* ClientWidget() const override;

    // The button that Enter and Escape press (TButton Default / Cancel).
    void DefaultKey(bool escape);

protected:
    TColor DefaultColor() const override { return clBtnFace; }

private:
    friend struct TFormPrivate;
    friend class TSizeConstraints;
    void applyConstraints();
    void placeOnShow();
    void fitCaption();
    bool tryEndModal();
    TCloseAction closeAction();
    TModalResult finishModal();
};

class TApplication : public rtl::TComponent {
    std::string getTitle() const { return title_; }
    void setTitle(std::string v) { title_ = std::move(v); }
    TForm* getMainForm() const { return mainForm_; }
    int getHintHidePause() const { return hintHidePause_; }
    void setHintHidePause(int v) { hintHidePause_ = v; }
    int getHintPause() const { return hintPause_; }
    void setHintPause(int v) { hintPause_ = v; }
    int getHintShortPause() const { return hintShortPause_; }
    void setHintShortPause(int v) { hintShortPause_ = v; }

    std::string title_;
    TForm* mainForm_ = nullptr;
    int hintPause_ = 500, hintHidePause_ = 2500, hintShortPause_ = 50;
    bool cleanupArmed_ = false;

public:
    TApplication() : rtl::TComponent(nullptr) {}
    const char* ClassName() const override { return "TApplication"; }

    TProp<TApplication, std::string, &TApplication::getTitle, &TApplication::setTitle> Title{this};
    TReadProp<TApplication, TForm*, &TApplication::getMainForm> MainForm{this};
    TProp<TApplication, int, &TApplication::getHintPause, &TApplication::setHintPause> HintPause{this};
    TProp<TApplication, int, &TApplication::getHintHidePause, &TApplication::setHintHidePause> HintHidePause{this};
    TProp<TApplication, int, &TApplication::getHintShortPause, &TApplication::setHintShortPause> HintShortPause{this};

    // Sends exceptions of window procedures and event handlers to
    // HandleException.
    void Initialize();
    // Makes a form owned by the application; the first becomes the main
    // form. The forms are destroyed before the Qt application object is.
    template <class T>
    void CreateForm(T*& reference) {
        reference = new T(this);
        formCreated(reference);
    }
    // Shows the main form and runs the message loop until Terminate.
    void Run();
    void ProcessMessages();
    void Terminate();
    bool Terminated() const;
    // Raises the main form (or the active one) above other windows.
    void BringToFront();
    // OnException, or ShowException when none is bound.
    void HandleException(const std::exception& e);
    // An error box with the exception's message, through the prompter.
    void ShowException(const std::exception& e);
    // A tooltip text at a screen point, shown for HintHidePause; an empty
    // text hides it.
    void ShowHintAt(TPoint screenPos, const std::string& text);
    std::string ExeName() const;

    std::function<void(rtl::TObject* Sender, const std::exception& E)> OnException;

    // Library use: a form going away stops being the main form.
    void FormDestroyed(TForm* form) {
        if (mainForm_ == form) mainForm_ = nullptr;
    }

private:
    void formCreated(TForm* form);
};

class TScreen : public rtl::TObject {
    int getWidth() const;
    int getHeight() const;
    TCursor getCursor() const { return cursor_; }
    void setCursor(TCursor v);
    TForm* getActiveForm() const;
    TCursor cursor_ = crDefault;

public:
    TScreen() = default;
    TScreen(const TScreen&) = delete;
    const char* ClassName() const override { return "TScreen"; }
    TReadProp<TScreen, int, &TScreen::getWidth> Width{this};
    TReadProp<TScreen, int, &TScreen::getHeight> Height{this};
    // crHourGlass shows the busy cursor over every window until crDefault.
    TProp<TScreen, TCursor, &TScreen::getCursor, &TScreen::setCursor> Cursor{this};
    TReadProp<TScreen, TForm*, &TScreen::getActiveForm> ActiveForm{this};
    int PixelsPerInch() const { return kPixelsPerInch; }
};

extern TApplication* const Application;
extern TScreen* const Screen;

}  // namespace ui
