// The window in both languages: in English no window, dialog, menu, hint or box shows
// a Chinese text (each one found names the widget and the text); in Chinese Qt's own
// buttons speak Chinese; the window's .qm and the core's table say the same.
//
// With OB_SCREENSHOT_DIR set, every window is also saved there as
// <window>-<language>.png (scripts/screenshots.sh uses this under Xvfb).
#include "app/aboutDlg.h"
#include "app/card_list_qt.h"
#include "views/delete_question.h"
#include "app/forms_qt.h"
#include "app/mainDlg.h"
#include "app/shell_list_qt.h"
#include "app/message_box_qt.h"
#include "app/translations_qt.h"
#include "common/ui_text.h"
#include "device/drive_layer.h"
#include "maintenance/FormatSDDlg.h"
#include "maintenance/SelectSDDlg.h"
#include "maintenance/setSDSpeedDlg.h"
#include "support/card_files.h"
#include "support/test_cards.h"
#include "transfer/copyingDlg.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

bool has_chinese(const QString& text) {
    static const QRegularExpression han(QStringLiteral("[\\x{3000}-\\x{303f}\\x{4e00}-\\x{9fff}\\x{ff00}-\\x{ffef}]"));
    return han.match(text).hasMatch();
}

// Every text a user can read on `window` and its children, with where it stands.
QList<QPair<QString, QString>> readable_texts(QWidget* window) {
    QList<QPair<QString, QString>> texts;
    auto add = [&texts](const QObject* owner, const char* what, const QString& text) {
        if (!text.isEmpty()) texts.append({owner->objectName() + "." + what, text});
    };
    QList<QWidget*> widgets = window->findChildren<QWidget*>();
    widgets.prepend(window);
    for (QWidget* w : widgets) {
        add(w, "windowTitle", w->isWindow() ? w->windowTitle() : QString());
        add(w, "toolTip", w->toolTip());
        if (auto* b = qobject_cast<QAbstractButton*>(w)) add(w, "text", b->text());
        if (auto* l = qobject_cast<QLabel*>(w)) add(w, "text", l->text());
        if (auto* g = qobject_cast<QGroupBox*>(w)) add(w, "title", g->title());
        if (auto* m = qobject_cast<QMenu*>(w)) add(w, "title", m->title());
        if (auto* t = qobject_cast<QTreeWidget*>(w)) {
            for (int c = 0; c < t->columnCount(); ++c) add(w, "header", t->headerItem()->text(c));
            for (int r = 0; r < t->topLevelItemCount(); ++r)
                for (int c = 0; c < t->columnCount(); ++c) add(w, "row", t->topLevelItem(r)->text(c));
        }
        if (auto* h = qobject_cast<QHeaderView*>(w); h && h->model())
            for (int c = 0; c < h->count(); ++c)
                add(w, "header", h->model()->headerData(c, h->orientation()).toString());
        for (QAction* a : w->actions()) {
            add(a, "text", a->text());
            add(a, "toolTip", a->text() == a->toolTip() ? QString() : a->toolTip());
        }
    }
    return texts;
}

void save_picture(QWidget* window, const char* name) {
    const char* folder = std::getenv("OB_SCREENSHOT_DIR");
    if (!folder) return;
    const QString language = ui_language() == UiLanguage::English ? "en" : "zh";
    window->grab().save(QString("%1/%2-%3.png").arg(folder, name, language));
}

class BothLanguages : public ::testing::Test {
protected:
    void TearDown() override {
        destroy_forms();
        drive_layer::drive_table().clear();
        install_translations(UiLanguage::Chinese);
    }

    // The forms in `language`, on a card with a few files, every window shown once.
    void showEveryWindow(UiLanguage language) {
        ASSERT_TRUE(install_translations(language));
        drive_layer::drive_table().clear();
        card = testcards::blank_card(1, 64u << 20);
        ASSERT_TRUE(testcards::put_card_file(1, "Mario Kart DS (Europe) (En,Fr,De,Es,It) long name.nds",
                                             testcards::pattern_bytes(300000, 1)));
        ASSERT_TRUE(testcards::put_card_file(1, "game.sav", testcards::pattern_bytes(1000, 2)));
        create_forms();
        Form1->Timer1->stop();
        if (const char* folder = std::getenv("OB_SCREENSHOT_HOST")) Form1->RzShellList1->setFolder(folder);
        Form1->show();
        QApplication::processEvents();
        QTimer::singleShot(300, [] {});
        for (int i = 0; i < 20; ++i) QApplication::processEvents(QEventLoop::AllEvents, 20);
        save_picture(Form1, "main-window");
        for (QDialog* dialog : {static_cast<QDialog*>(Form2), static_cast<QDialog*>(Form3),
                                static_cast<QDialog*>(Form4), static_cast<QDialog*>(Form5),
                                static_cast<QDialog*>(Form6)}) {
            dialog->show();
            QApplication::processEvents();
            save_picture(dialog, qPrintable(dialog->objectName()));
            dialog->hide();
        }
    }

    // The delete question over seven files, as the card pane's delete asks it.
    std::unique_ptr<QMessageBox> showDeleteQuestion() {
        auto box = make_message_box({delete_question({"a.nds", "b.sav", "c.nds", "d.nds", "e.nds", "f.nds", "g.nds"}),
                                     APP_TITLE, MsgIcon::Warning, MsgButtons::YesNo},
                                    Form1);
        box->show();
        QApplication::processEvents();
        save_picture(box.get(), "delete-question");
        return box;
    }

    std::shared_ptr<drive_layer::FakeDrive> card;
};

TEST_F(BothLanguages, InEnglishNoWindowShowsAChineseText) {
    showEveryWindow(UiLanguage::English);
    EXPECT_EQ(Form1->FileMenu->title(), "&File");
    EXPECT_EQ(Form1->RzListView1->headerItem()->text(0), "Name");
    // The name column takes the list's width, at least 220 pixels; a long name that
    // does not fit is elided and whole in its row's hint.
    CardList* list = Form1->RzListView1;
    QHeaderView* header = list->header();
    EXPECT_EQ(header->sectionSize(0), std::max(220, list->viewport()->width() - header->sectionSize(1) - header->sectionSize(2)));
    Form1->resize(Form1->width() + 200, Form1->height());
    QApplication::processEvents();
    EXPECT_EQ(header->sectionSize(0) + header->sectionSize(1) + header->sectionSize(2),
              std::max(list->viewport()->width(), 220 + header->sectionSize(1) + header->sectionSize(2)));
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        EXPECT_EQ(list->topLevelItem(i)->toolTip(0), list->topLevelItem(i)->text(0));
    EXPECT_FALSE(Form1->RzToolbarButton1->toolTip().isEmpty());
    EXPECT_FALSE(Form1->RzToolbarButton2->toolTip().isEmpty());
    for (QWidget* window : {static_cast<QWidget*>(Form1), static_cast<QWidget*>(Form2),
                            static_cast<QWidget*>(Form3), static_cast<QWidget*>(Form4),
                            static_cast<QWidget*>(Form5), static_cast<QWidget*>(Form6),
                            static_cast<QWidget*>(Form1->PopupMenu1), static_cast<QWidget*>(Form1->CardMenu),
                            static_cast<QWidget*>(Form1->HostMenu)})
        for (const auto& [where, text] : readable_texts(window))
            EXPECT_FALSE(has_chinese(text)) << "no English for \"" << text.toStdString() << "\" at "
                                            << where.toStdString() << " (add it to translations/orbelle_en.ts)";
    const auto box = showDeleteQuestion();
    for (const auto& [where, text] : readable_texts(box.get()))
        EXPECT_FALSE(has_chinese(text)) << "no English for \"" << text.toStdString() << "\" at " << where.toStdString();
}

TEST_F(BothLanguages, InChineseQtsOwnButtonsAndHostColumnsSpeakChinese) {
    showEveryWindow(UiLanguage::Chinese);
    const auto box = showDeleteQuestion();
    EXPECT_TRUE(has_chinese(box->button(QMessageBox::Yes)->text())) << box->button(QMessageBox::Yes)->text().toStdString();
    EXPECT_TRUE(has_chinese(box->button(QMessageBox::No)->text()));
    QHeaderView* host = Form1->RzShellList1->detailsView()->header();
    for (int c = 0; c < host->count(); ++c)
        EXPECT_TRUE(has_chinese(host->model()->headerData(c, Qt::Horizontal).toString()))
            << host->model()->headerData(c, Qt::Horizontal).toString().toStdString();
    // The window's own Chinese captions stay as they are.
    EXPECT_EQ(Form1->ToolsMenu->title(), "工具(&T)");
    EXPECT_EQ(Form1->RzMenuToolbarButton1->toolTip(), "View List");
}

TEST_F(BothLanguages, TheWindowsTranslationsAndTheCoresTableAgree) {
    ASSERT_TRUE(install_translations(UiLanguage::English));
    ASSERT_GT(UI_TEXT_TABLE_SIZE, 50u);
    for (unsigned i = 0; i < UI_TEXT_TABLE_SIZE; ++i) {
        const UiTextEntry& entry = UI_TEXT_TABLE[i];
        EXPECT_EQ(QCoreApplication::translate(entry.context, entry.source).toStdString(), entry.english)
            << entry.context << ": " << entry.source;
    }
}

}  // namespace
