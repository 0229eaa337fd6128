// The standard dialogs answered through the seam, the picture-format
// registry and the picture dialog's preview.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFontDialog>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest/QTest>
#include <fstream>
#include <string>
#include <vector>
#include <iterator>

#include "platform/ui/dialogs.h"
#include "platform/ui/forms.h"
#include "platform/ui/graphics.h"
#include "platform/ui/menus.h"

using namespace ui;

namespace {

TEST(Dialogs, ScriptsAnswerEveryKindOfDialog) {
    TScriptedDialogs answers;
    TOpenDialog open(nullptr);
    TFontDialog font(nullptr);
    TColorDialog colour(nullptr);
    open.Options |= ofAllowMultiSelect;
    answers.QueueDialog([](TCommonDialog& d) {
        auto& o = static_cast<TOpenDialog&>(d);
        o.Files->Add("/tmp/a.txt");
        o.Files->Add("/tmp/b.txt");
        o.FileName = "/tmp/a.txt";
        return true;
    });
    answers.QueueDialog([](TCommonDialog& d) {
        static_cast<TFontDialog&>(d).Font->Name = "Arial";
        return true;
    });
    answers.QueueDialogResult(false);
    EXPECT_TRUE(open.Execute());
    EXPECT_EQ(open.Files->Count(), 2);
    EXPECT_TRUE(font.Execute());
    EXPECT_EQ(font.Font->Name(), "Arial");
    colour.Color = clRed;
    EXPECT_FALSE(colour.Execute());
    EXPECT_EQ(colour.Color, clRed);
    EXPECT_EQ(answers.dialogs, (std::vector<std::string>{"TOpenDialog", "TFontDialog", "TColorDialog"}));
    EXPECT_FALSE(TSaveDialog(nullptr).Execute());  // nothing queued
    EXPECT_EQ(answers.unexpected, 1);
}

TEST(Dialogs, MessageBoxesAndQuestionsGoThroughTheSameAnswerer) {
    TScriptedDialogs answers;
    answers.QueueResult(mrYes);
    answers.QueueInput("42");
    EXPECT_EQ(MessageDlg("Save Changes ?", mtConfirmation, mbYesNo), mrYes);
    std::string value = "20";
    EXPECT_TRUE(InputQuery("Pelliwox", "Retain how many?", value));
    EXPECT_EQ(value, "42");
    ASSERT_EQ(answers.prompts.size(), 2u);
    EXPECT_EQ(answers.prompts[1].value, "20");
    EXPECT_EQ(MessageDlg("Again ?", mtConfirmation, mbYesNo), mrNo);  // dismissed
    EXPECT_EQ(answers.unexpected, 1);
}

TEST(Dialogs, AScriptThatThrowsLeavesNoModalWindowBehind) {
    TScriptedDialogs answers;
    TForm form(nullptr);
    answers.QueueModal([](TForm&) -> TModalResult { throw std::runtime_error("script failed"); });
    EXPECT_THROW(form.ShowModal(), std::runtime_error);
    EXPECT_FALSE(form.Modal());
    EXPECT_FALSE(form.Visible());
}

TEST(Dialogs, WithoutAnAnswererDialogsAreDismissed) {
    TFontDialog font(nullptr);
    font.Font->Name = "Courier";
    EXPECT_FALSE(font.Execute());
    EXPECT_EQ(font.Font->Name(), "Courier");
}

// The on-screen dialogs, driven by a timer standing in for the user; a
// second timer closes whatever is still open so that nothing can hang.
class RealDialogs : public ::testing::Test {
protected:
    void SetUp() override { UseQtDialogs(); }
    void TearDown() override {
        SetAnswerer(nullptr);
        SetPrompter(nullptr);
    }
    // User acts on the dialog once it is up and ready (it returns true
    // when done; a file dialog lists its folder in the background).
    template <class D>
    void whenShown(std::function<bool(D&)> user) {
        auto* poll = new QTimer(qApp);
        auto* guard = new QTimer(poll);
        guard->setSingleShot(true);
        auto finish = [poll, guard] {
            poll->stop();
            guard->stop();
            poll->deleteLater();
        };
        QObject::connect(poll, &QTimer::timeout, poll, [user, finish] {
            auto* d = qobject_cast<D*>(QApplication::activeModalWidget());
            if (d && user(*d)) finish();
        });
        QObject::connect(guard, &QTimer::timeout, poll, [finish] {
            if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) d->reject();
            finish();
        });
        poll->start(20);
        guard->start(5000);
    }
};

TEST_F(RealDialogs, TheFileDialogReturnsTheChosenFileAndFilter) {
    QTemporaryDir dir;
    const QString path = dir.filePath("notes.txt");
    std::ofstream(path.toStdString()) << "x";
    TOpenDialog open(nullptr);
    open.Filter = "HTML files|*.htm;*.html|Text files|*.txt";
    open.InitialDir = dir.path().toStdString();
    whenShown<QFileDialog>([path](QFileDialog& d) {
        d.selectNameFilter(d.nameFilters().at(1));
        d.findChild<QLineEdit*>("fileNameEdit")->setText(path);  // typed by the user
        static_cast<QDialog&>(d).accept();                          // as the Open button does
        return true;
    });
    ASSERT_TRUE(open.Execute());
    EXPECT_EQ(open.FileName, path.toStdString());
    EXPECT_EQ(open.FilterIndex, 2);
    EXPECT_EQ(open.Files->Count(), 1);
}

// The button a question names as its default is the one Enter presses.
TEST_F(RealDialogs, EnterPressesTheQuestionsDefaultButton) {
    TQtPrompter prompter;
    for (const auto& [def, want] : {std::pair{mbNo, mrNo}, std::pair{mbYes, mrYes}}) {
        whenShown<QMessageBox>([](QMessageBox& box) {
            QTest::keyClick(&box, Qt::Key_Return);
            return true;
        });
        TPrompt p;
        p.text = "Delete it ?";
        p.type = mtConfirmation;
        p.buttons = mbYesNo;
        p.defaultButton = def;
        EXPECT_EQ(prompter.MessageDlg(p), want);
    }
}

TEST_F(RealDialogs, TheFontDialogAppliesBeforeItCloses) {
    TFontDialog font(nullptr);
    font.Options = fdEffects | fdApplyButton;
    font.Font->Size = 9;
    int applied = 0, appliedSize = 0;
    font.OnApply = [&](rtl::TObject*) {
        ++applied;
        appliedSize = font.Font->Size;
    };
    whenShown<QFontDialog>([](QFontDialog& d) {
        QFont f = d.currentFont();
        f.setPointSize(14);
        d.setCurrentFont(f);
        d.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Apply)->click();
        d.reject();
        return true;
    });
    EXPECT_FALSE(font.Execute());
    EXPECT_EQ(applied, 1);
    EXPECT_EQ(appliedSize, 14);
}

// A picture class of our own, standing for one a later unit registers.
class TTestGraphic : public TGraphic {
public:
    static constexpr const char* StaticClassName = "TTestGraphic";
    const char* ClassName() const override { return StaticClassName; }
    void LoadFromStream(std::istream& s) override {
        content.assign(std::istreambuf_iterator<char>(s), std::istreambuf_iterator<char>());
        if (content.rfind("TEST", 0) != 0) throw EInvalidGraphic("not a test picture");
    }
    void SaveToStream(std::ostream& s) override { s << content; }
    void Draw(TCanvas& canvas, const TRect& rect) override {
        canvas.Brush->Color = clBlue;
        canvas.FillRect(rect);
    }
    bool GetEmpty() const override { return content.empty(); }
    int GetWidth() const override { return 4; }
    int GetHeight() const override { return 2; }
    std::string content;
};

class PictureRegistry : public ::testing::Test {
protected:
    void TearDown() override { TPicture::UnregisterGraphicClass(GraphicClassOf<TTestGraphic>()); }
    std::string write(const std::string& name, const std::string& bytes) {
        const std::string path = dir.filePath(QString::fromStdString(name)).toStdString();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    QTemporaryDir dir;
};

TEST_F(PictureRegistry, PicturesLoadThroughTheClassRegisteredForTheirExtension) {
    TPicture::RegisterFileFormat("PNG", "Portable Network Graphics", GraphicClassOf<TTestGraphic>());
    EXPECT_EQ(TPicture::FindGraphicClass(".png"), GraphicClassOf<TTestGraphic>());
    TPicture picture;
    picture.LoadFromFile(write("Photo.PNG", "TEST data"));
    ASSERT_NE(picture.Graphic(), nullptr);
    EXPECT_STREQ(picture.Graphic()->ClassName(), "TTestGraphic");
    EXPECT_EQ(static_cast<TTestGraphic*>(picture.Graphic())->content, "TEST data");
    EXPECT_EQ(picture.Width(), 4);
    EXPECT_THROW(picture.LoadFromFile(write("broken.png", "JUNK")), EInvalidGraphic);

    const std::string filter = TPicture::GraphicFilter();
    EXPECT_EQ(filter.rfind("All (", 0), 0u);
    EXPECT_NE(filter.find("|Portable Network Graphics (*.png)|*.png"), std::string::npos);
    EXPECT_NE(filter.find("*.jpg"), std::string::npos);
    EXPECT_EQ(TPicture::GraphicFilter(GraphicClassOf<TTestGraphic>()), "Portable Network Graphics (*.png)|*.png");

    TPicture::UnregisterGraphicClass(GraphicClassOf<TTestGraphic>());
    EXPECT_EQ(TPicture::FindGraphicClass("png"), nullptr);
    try {
        picture.LoadFromFile(write("again.png", "TEST"));
        FAIL() << "an unregistered extension loaded";
    } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ(e.what(), "Unknown picture file extension (.png)");
    }
}

TEST_F(PictureRegistry, ThePictureDialogPreviewsThroughTheRegistry) {
    QImage image(400, 200, QImage::Format_RGB32);
    image.fill(QColor(255, 0, 0));
    const std::string jpeg = dir.filePath("red.jpg").toStdString();
    ASSERT_TRUE(image.save(QString::fromStdString(jpeg), "JPG"));
    const std::unique_ptr<TBitmap> preview = TOpenPictureDialog::Preview(jpeg, 160);
    EXPECT_EQ(preview->GetWidth(), 160);
    EXPECT_EQ(preview->GetHeight(), 80);
    const TColor middle = preview->Canvas()->GetPixel(80, 40);
    EXPECT_GT(GetRValue(middle), 200);
    EXPECT_LT(GetGValue(middle), 60);

    TPicture::RegisterFileFormat("png", "Portable Network Graphics", GraphicClassOf<TTestGraphic>());
    const std::unique_ptr<TBitmap> drawn = TOpenPictureDialog::Preview(write("own.png", "TEST"), 160);
    EXPECT_EQ(drawn->Canvas()->GetPixel(1, 1), clBlue);
    EXPECT_THROW(TOpenPictureDialog::Preview(write("x.unknown", "?"), 160), EInvalidGraphic);
    TOpenPictureDialog dialog(nullptr);
    EXPECT_NE(dialog.Filter.find("*.png"), std::string::npos);
}

// A popup menu that waits for the pick: scripted, and on screen with a
// timer standing in for the user (Escape closes it if the pick fails).
TEST(Dialogs, APopupMenuWaitsForThePick) {
    TPopupMenu menu(nullptr);
    std::vector<std::string> clicked;
    for (const char* caption : {"First", "Second"}) {
        auto* item = new TMenuItem(&menu);
        item->Caption = caption;
        item->OnClick = [&clicked, caption](rtl::TObject*) { clicked.push_back(caption); };
        menu.Items->Add(item);
    }
    int popups = 0;
    menu.OnPopup = [&](rtl::TObject*) { ++popups; };
    {
        TScriptedDialogs dialogs;
        dialogs.QueueMenu([](TPopupMenu& m) { return m.Items->Items(1); });
        EXPECT_EQ(menu.TrackPopup(10, 10), menu.Items->Items(1));
        EXPECT_EQ(menu.TrackPopup(10, 10), nullptr);  // nothing queued: closed, and counted
        EXPECT_EQ(dialogs.unexpected, 1);
        EXPECT_EQ(dialogs.menusShown, 2);
    }
    EXPECT_EQ(clicked, std::vector<std::string>{"Second"});
    EXPECT_EQ(popups, 2);

    UseQtDialogs();
    auto* poll = new QTimer(qApp);
    int polls = 0;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, &polls] {
        QWidget* up = QApplication::activePopupWidget();
        if (!up && ++polls < 250) return;
        if (up) {
            QTest::keyClick(up, Qt::Key_Down);
            QTest::keyClick(up, Qt::Key_Return);
            // A menu the keys did not close must not hold the test.
            QTimer::singleShot(2000, qApp, [] {
                if (QWidget* still = QApplication::activePopupWidget()) still->close();
            });
        }
        poll->stop();
        poll->deleteLater();
    });
    poll->start(20);
    EXPECT_EQ(menu.TrackPopup(20, 20), menu.Items->Items(0));
    EXPECT_EQ(clicked, (std::vector<std::string>{"Second", "First"}));
    SetAnswerer(nullptr);
    SetPrompter(nullptr);
}

}  // namespace
