// The Tools-menu commands of the main window. They run on the window's thread while
// the user waits; the dialogs come first, then the card-side routines, which show
// their own result boxes. Each command holds the volume for its whole run: its dialogs
// and boxes run nested event loops, and the drive watch must not remount the volume
// or rebuild the drive list under it (the first tick afterwards catches up). With no
// card drive listed, each command says so in a box instead of doing nothing.
#include "app/forms_qt.h"
#include "app/mainDlg.h"
#include "common/volume_busy.h"
#include "maintenance/FormatSDDlg.h"
#include "maintenance/card_check_command.h"
#include "maintenance/card_models.h"
#include "maintenance/maintenance_commands.h"
#include "maintenance/setSDSpeedDlg.h"

#include <QComboBox>
#include <QLineEdit>

void TForm1::SD1Click() {
    if (!cardDriveListed()) return;
    VolumeBusy busy;
    // The format takes the drive list's selected entry itself, not CurrentDrive.
    const int index = RzImageComboBox1->currentIndex();
    if (index < 0) return;
    const auto drive = uint8_t(RzImageComboBox1->itemData(index).toInt());
    Form4->Edit1->setText(RzImageComboBox1->itemText(index));
    if (Form4->exec() != QDialog::Accepted) return;
    if (!confirm_format()) return;
    const int model = Form4->SelectedModel;
    if (!is_card_model_row(model)) return;
    if (format_with_model(drive, model)) ShowCardContents(drive);
}

void TForm1::SD2Click() {
    if (!cardDriveListed()) return;
    VolumeBusy busy;
    if (Form5->exec() != QDialog::Accepted) return;
    // The card list is left alone: it never shows "sd_speed.ini".
    write_default_speed(CurrentDrive, Form5->DefaultSpeed);
}

void TForm1::N2Click() {
    if (!cardDriveListed()) return;
    VolumeBusy busy;
    update_save_list(CurrentDrive);
}

void TForm1::N3Click() {
    if (!cardDriveListed()) return;
    VolumeBusy busy;
    update_menu_program(CurrentDrive);
}

void TForm1::MoonShell1Click() {
    if (!cardDriveListed()) return;
    VolumeBusy busy;
    const uint8_t drive = CurrentDrive;
    install_moonshell(drive, [this, drive] { ShowCardContents(drive); });
}

void TForm1::CheckSD1Click() {
    if (!cardDriveListed()) return;
    VolumeBusy busy;
    const uint8_t drive = CurrentDrive;
    check_card_command(drive, [this, drive] { ShowCardContents(drive); });
}
