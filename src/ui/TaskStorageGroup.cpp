#include "ui/TaskStorageGroup.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <exception>

#include "crypto/SecureStorage.h"
#include "ui/UiStyle.h"

namespace velkor {

namespace {

constexpr char CloudFolderDialogTitle[] = "Cloud Kopya Klasörünü Seçin";

// The stored secret as the user typed it; nothing when it cannot be read (another user's, damaged).
QString ShownSecret(const std::string& stored) {
  try {
    return Qs(UnprotectString(stored));
  } catch (const std::exception&) {
    return QString();
  }
}

QLineEdit* NewField(const char* name, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QLatin1String(name));
  return edit;
}

}  // namespace

TTaskStorageGroup::TTaskStorageGroup(IAppPrompts& prompts, QWidget* parent) : QGroupBox(parent), FPrompts(prompts) {
  setObjectName(QStringLiteral("FStorageGroup"));
  setTitle(QStringLiteral(" Depolama Hedefi "));
  FCmbStorageMode = new QComboBox(this);
  FCmbStorageMode->setObjectName(QStringLiteral("FCmbStorageMode"));
  FCmbCloudProvider = new QComboBox(this);
  FCmbCloudProvider->setObjectName(QStringLiteral("FCmbCloudProvider"));
  // The provider is free text; the list offers the usual ones.
  FCmbCloudProvider->setEditable(true);
  FCmbCloudProvider->setInsertPolicy(QComboBox::NoInsert);
  for (const char* provider : CloudProviderItems) FCmbCloudProvider->addItem(Qs(provider));
  FEdtCloudAccount = NewField("FEdtCloudAccount", this);
  FEdtCloudPassword = NewField("FEdtCloudPassword", this);
  FEdtCloudPassword->setEchoMode(QLineEdit::Password);
  FEdtCloudPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));  // "*"
  FEdtCloudDestination = NewField("FEdtCloudDestination", this);
  FBtnBrowseCloudDestination = new QPushButton(QStringLiteral("..."), this);
  FBtnBrowseCloudDestination->setObjectName(QStringLiteral("FBtnBrowseCloudDestination"));
  FBtnBrowseCloudDestination->setFixedWidth(32);

  auto* destination = new QHBoxLayout;
  destination->addWidget(FEdtCloudDestination, 1);
  destination->addWidget(FBtnBrowseCloudDestination);
  auto* form = new QFormLayout(this);
  form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
  form->addRow(QStringLiteral("Mod"), FCmbStorageMode);
  form->addRow(QStringLiteral("Cloud Sağlayıcı"), FCmbCloudProvider);
  form->addRow(QStringLiteral("Kullanıcı / Access Key"), FEdtCloudAccount);
  form->addRow(QStringLiteral("Parola"), FEdtCloudPassword);
  form->addRow(QStringLiteral("Endpoint / Bucket / Yol"), destination);

  connect(FCmbStorageMode, &QComboBox::activated, this, &TTaskStorageGroup::StorageChanged);
  connect(FCmbCloudProvider, &QComboBox::activated, this, &TTaskStorageGroup::StorageChanged);
  connect(FCmbCloudProvider, &QComboBox::currentTextChanged, this, &TTaskStorageGroup::ProviderTextChanged);
  connect(FBtnBrowseCloudDestination, &QPushButton::clicked, this, &TTaskStorageGroup::BrowseCloudDestination);
}

void TTaskStorageGroup::Load(const TBackupTask* task) {
  const QSignalBlocker quietMode(FCmbStorageMode);
  const QSignalBlocker quietProvider(FCmbCloudProvider);
  FCmbStorageMode->clear();
  for (const char* mode : StorageModeItems) FCmbStorageMode->addItem(Qs(mode));
  if (task == nullptr) {
    FCmbCloudProvider->setCurrentIndex(0);
    FEdtCloudAccount->clear();
    FEdtCloudPassword->clear();
    FEdtCloudDestination->clear();
    FCmbStorageMode->setCurrentIndex(smLocalDisk);
    return;
  }
  const int provider = FCmbCloudProvider->findText(Qs(task->CloudProvider));
  if (provider >= 0)
    FCmbCloudProvider->setCurrentIndex(provider);
  else
    FCmbCloudProvider->setEditText(Qs(task->CloudProvider));
  FEdtCloudAccount->setText(Qs(task->CloudAccountName));
  FEdtCloudPassword->setText(ShownSecret(task->CloudPasswordProtected));
  FEdtCloudDestination->setText(Qs(task->CloudDestinationFolder));
  // An ordinal outside the list (a damaged file) selects nothing, which stores the local disk.
  FCmbStorageMode->setCurrentIndex(task->StorageMode >= 0 && task->StorageMode < FCmbStorageMode->count()
                                       ? static_cast<int>(task->StorageMode)
                                       : -1);
}

void TTaskStorageGroup::Store(TTaskSettings& settings) {
  const int mode = StorageModeIndex();
  settings.StorageMode = mode < 0 ? smLocalDisk : static_cast<TStorageMode>(mode);
  TCloudInput input{.Provider = Std(CloudProviderText()),
                    .AccessKey = Std(FEdtCloudAccount->text()),
                    .Destination = Std(FEdtCloudDestination->text())};
  // What was shown is what is stored: protecting it again would only change the stored bytes, and a secret that
  // could not be shown would be lost.
  if (FEdtCloudPassword->isModified()) input.Secret = Std(FEdtCloudPassword->text());
  try {
    ApplyCloudInput(settings, input);
    FEdtCloudPassword->setModified(false);
  } catch (const std::exception& e) {
    input.Secret.reset();
    ApplyCloudInput(settings, input);
    ShowAutoMessage(FPrompts, std::string("Hata: Cloud parolası saklanamadı: ") + e.what());
  }
}

int TTaskStorageGroup::StorageModeIndex() const { return FCmbStorageMode->currentIndex(); }

QString TTaskStorageGroup::CloudProviderText() const { return FCmbCloudProvider->currentText(); }

void TTaskStorageGroup::ApplyStates(const TEditorStates& states) {
  for (QWidget* field : {static_cast<QWidget*>(FCmbCloudProvider), static_cast<QWidget*>(FEdtCloudAccount),
                         static_cast<QWidget*>(FEdtCloudPassword), static_cast<QWidget*>(FEdtCloudDestination)})
    field->setEnabled(states.CloudFieldsEnabled);
  FBtnBrowseCloudDestination->setEnabled(states.CloudBrowseEnabled);
}

void TTaskStorageGroup::BrowseCloudDestination() {
  std::string folder = Std(FEdtCloudDestination->text());
  if (FPrompts.SelectFolder(CloudFolderDialogTitle, folder)) FEdtCloudDestination->setText(Qs(folder));
}

}  // namespace velkor
