#include "ui/RestoreWizardForm.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStandardPaths>

#include "engine/LongPathUtils.h"
#include "ui/UiStyle.h"
#include "ui/WidgetHelpers.h"
#include "util/StringUtils.h"

namespace velkor {

namespace {

constexpr int ClientWidth = 607;
constexpr int ClientHeight = 365;
constexpr int Margin = 16;
constexpr int FieldWidth = ClientWidth - 2 * Margin;

}  // namespace

TRestoreWizard::TRestoreWizard(QWidget* owner, IAppPrompts& prompts, IClock& clock, bool showPassword,
                               const std::string& password, const TBackupHistoryItem& item,
                               const std::string& asOfCaption)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      FPrompts(prompts),
      FClock(clock) {
  setObjectName(QStringLiteral("frmRestoreWizard"));
  setWindowTitle(QStringLiteral("Geri Yukleme Sihirbazi"));
  setFixedSize(ClientWidth, ClientHeight);
  setFont(UiFont(12));
  const QColor text(0x28, 0x2D, 0x42);

  FInfoLabel = NewLabel(this, "FInfoLabel", QStringLiteral("Seçili Kayıt Bilgisi"), UiFont(12), text);
  FInfoLabel->setWordWrap(true);
  FInfoLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  FInfoLabel->setGeometry(Margin, 14, FieldWidth, 62);
  FTargetLabel = NewLabel(this, "FTargetLabel", QStringLiteral("Hedef Klasör"), UiFont(12, QFont::DemiBold), text);
  FTargetLabel->setGeometry(Margin, 86, FieldWidth, 20);
  FTargetEdit = new QLineEdit(this);
  FTargetEdit->setObjectName(QStringLiteral("FTargetEdit"));
  FTargetEdit->setGeometry(Margin, 108, FieldWidth - 108, 30);
  FBrowseButton = new QPushButton(QStringLiteral("Gözat"), this);
  FBrowseButton->setObjectName(QStringLiteral("FBrowseButton"));
  FBrowseButton->setAutoDefault(false);
  FBrowseButton->setGeometry(ClientWidth - Margin - 100, 107, 100, 32);
  connect(FBrowseButton, &QPushButton::clicked, this, &TRestoreWizard::BrowseClick);

  FConflictGroup = new QGroupBox(QStringLiteral("Çakışma Davranışı"), this);
  FConflictGroup->setObjectName(QStringLiteral("FConflictGroup"));
  FConflictGroup->setGeometry(Margin, 150, FieldWidth, 62);
  FConflictButtons = new QButtonGroup(this);
  int left = 14;
  for (const char* caption : {"Yeniden adlandır", "Atla"}) {
    auto* radio = new QRadioButton(QString::fromUtf8(caption), FConflictGroup);
    radio->setObjectName(FConflictButtons->buttons().empty() ? QStringLiteral("rbRename") : QStringLiteral("rbSkip"));
    radio->setGeometry(left, 28, 200, 24);
    FConflictButtons->addButton(radio, static_cast<int>(FConflictButtons->buttons().size()));
    left += 220;
  }

  FAsOfCheck = new QCheckBox(this);
  FAsOfCheck->setObjectName(QStringLiteral("chkAsOfBackup"));
  FAsOfCheck->setGeometry(Margin + 2, 220, FieldWidth - 2, 24);

  FPasswordLabel = NewLabel(this, "FPasswordLabel", QStringLiteral("Parola"), UiFont(12, QFont::DemiBold), text);
  FPasswordLabel->setGeometry(Margin, 224, FieldWidth, 20);
  FPasswordEdit = new QLineEdit(this);
  FPasswordEdit->setObjectName(QStringLiteral("FPasswordEdit"));
  FPasswordEdit->setEchoMode(QLineEdit::Password);
  FPasswordEdit->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
  FPasswordEdit->setGeometry(Margin, 246, FieldWidth, 30);

  FOkButton = new QPushButton(QStringLiteral("Başlat"), this);
  FOkButton->setObjectName(QStringLiteral("FOkButton"));
  FOkButton->setDefault(true);
  FOkButton->setGeometry(ClientWidth - Margin - 232, ClientHeight - 44, 110, 34);
  connect(FOkButton, &QPushButton::clicked, this, &QDialog::accept);
  FCancelButton = new QPushButton(QStringLiteral("İptal"), this);
  FCancelButton->setObjectName(QStringLiteral("FCancelButton"));
  FCancelButton->setAutoDefault(false);
  FCancelButton->setGeometry(ClientWidth - Margin - 110, ClientHeight - 44, 110, 34);
  connect(FCancelButton, &QPushButton::clicked, this, &QDialog::reject);

  SetupWizard(showPassword, password, item, asOfCaption);
  if (const QScreen* screen = this->screen()) move(screen->availableGeometry().center() - rect().center());
}

void TRestoreWizard::SetupWizard(bool showPassword, const std::string& password, const TBackupHistoryItem& item,
                                 const std::string& asOfCaption) {
  const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
  FInfoLabel->setText(Qs(RestoreWizardInfoText(item)));
  FTargetEdit->setText(Qs(DefaultRestoreTarget(Std(desktop), FClock.Now())));
  FConflictButtons->button(0)->setChecked(true);
  FPasswordLabel->setVisible(showPassword);
  FPasswordEdit->setVisible(showPassword);
  FPasswordEdit->setText(Qs(password));
  // Beyond the designed form: with a chain to rebuild, its choice takes the row above the password.
  FAsOfCheck->setText(Qs(asOfCaption));
  FAsOfCheck->setChecked(false);
  FAsOfCheck->setVisible(!asOfCaption.empty());
  const int shift = asOfCaption.empty() ? 0 : 32;
  FPasswordLabel->move(Margin, 224 + shift);
  FPasswordEdit->move(Margin, 246 + shift);
}

void TRestoreWizard::BrowseClick() {
  const std::string typed = Std(FTargetEdit->text());
  std::string folder = LongDirectoryExists(typed) ? typed : std::string();
  if (FPrompts.SelectFolder(RestoreBrowseTitle, folder)) FTargetEdit->setText(Qs(folder));
}

bool TRestoreWizard::Execute(QWidget* owner, IAppPrompts& prompts, IClock& clock, const TBackupHistoryItem& item,
                             TRestoreWizardOptions& options, bool showPassword, const std::string& password,
                             const std::string& asOfCaption) {
  TRestoreWizard wizard(owner, prompts, clock, showPassword, password, item, asOfCaption);
  if (wizard.exec() != QDialog::Accepted) return false;
  options.TargetFolder = Trim(Std(wizard.FTargetEdit->text()));
  options.ConflictAction = wizard.FConflictButtons->checkedId() == 0 ? rcRename : rcSkip;
  options.EncryptionPassword = Std(wizard.FPasswordEdit->text());
  options.AsOfBackup = !wizard.FAsOfCheck->isHidden() && wizard.FAsOfCheck->isChecked();
  return true;
}

}  // namespace velkor
