// The simulator window's widgets over the calculator engine.
#include "gui/simulator_window.h"

#include <QButtonGroup>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "common/constants.h"
#include "common/cp1252.h"
#include "link/frame.h"
#include "platform/qt/qt_text.h"

namespace velora {

namespace {

constexpr int PixelsPerColumn = 8;
constexpr int EditFieldMaxLength = 240;
constexpr int UserNameMaxLength = 8;

// The largest bold fixed-pitch font whose characters fit the screen's 8 pixels per column.
QFont ScreenFont() {
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setBold(true);
  font.setStyleHint(QFont::TypeWriter);
  for (int size = 14; size > 6; --size) {
    font.setPixelSize(size);
    if (QFontMetrics(font).horizontalAdvance('W') <= PixelsPerColumn) break;
  }
  return font;
}

}  // namespace

QString ScreenDisplayText(const CalculatorEngine& engine) {
  QStringList rows;
  for (int row = 0; row < ScreenRows; ++row) {
    QString shown = ToQString(engine.ScreenRow(row));
    for (QChar& c : shown) {
      const char16_t u = c.unicode();
      if (u < 0x20 || (u >= 0x7F && u <= 0x9F)) c = QChar(' ');
    }
    rows << shown;
  }
  return rows.join('\n');
}

TFormTiSim::TFormTiSim(CalculatorEngine& engine, QWidget* parent)
    : QWidget(parent), engine_(engine) {
  setWindowFlag(Qt::Window);  // a window of its own, also when it has a parent
  memoTiScr_ = new QPlainTextEdit;
  memoTiScr_->setObjectName("MemoTIScr");
  memoTiScr_->setReadOnly(true);
  memoTiScr_->setFont(ScreenFont());
  memoTiScr_->setLineWrapMode(QPlainTextEdit::NoWrap);
  memoTiScr_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  memoTiScr_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  memoTiScr_->document()->setDocumentMargin(2);
  memoTiScr_->setFixedHeight(QFontMetrics(memoTiScr_->font()).lineSpacing() * ScreenRows + 12);

  memoLog_ = new QPlainTextEdit;
  memoLog_->setObjectName("MemoLog");
  memoLog_->setReadOnly(true);
  memoLog_->setFixedHeight(memoTiScr_->height());

  editUsername_ = new QLineEdit;
  editUsername_->setObjectName("EditUsername");
  editUsername_->setMaxLength(UserNameMaxLength);
  editUsername_->setFixedWidth(90);
  editAddress_ = new QLineEdit;
  editAddress_->setObjectName("EditAddress");
  editAddress_->setReadOnly(true);
  editAddress_->setFixedWidth(40);
  cmdConnect_ = new QPushButton;
  cmdConnect_->setObjectName("CmdConnect");
  cmdSilentDisconnect_ = new QPushButton("silent discon");
  cmdSilentDisconnect_->setObjectName("CmdSilentDisconnect");

  editInput_ = new QLineEdit;
  editInput_->setObjectName("EditInput");
  editInput_->setToolTip(ToQString("für Tastendrücke wie Links/Rechts etc."_cp));
  editInput_->setFixedWidth(40);
  editEditField_ = new QLineEdit;
  editEditField_->setObjectName("EditEditField");
  editEditField_->setMaxLength(EditFieldMaxLength);
  editEditField_->setToolTip(ToQString(
      "zur Eingabe von Text in Eingabefelder\nAbschluß der Eingabe mit Enter oder Escape"_cp));

  rgTiType_ = new QGroupBox;
  rgTiType_->setObjectName("RGTIType");
  models_ = new QButtonGroup(this);
  auto* modelColumn = new QVBoxLayout(rgTiType_);
  modelColumn->setContentsMargins(4, 2, 4, 2);
  for (int model = 0; model < CalcTypeCount; ++model) {
    auto* button = new QRadioButton(model == 0 ? "TI 82" : "TI 86");
    button->setObjectName(button->text());
    models_->addButton(button, model);
    modelColumn->addWidget(button);
  }
  auto* keyHelp =
      new QLabel(ToQString("Eingabe:\no,u = oben/unten\nl,r = links/rechts\n1-9 = Menüpunkt"_cp));

  auto* memos = new QHBoxLayout;
  memos->setSpacing(0);
  memos->addWidget(memoTiScr_);
  memos->addWidget(memoLog_);
  memos->addStretch(1);

  auto* connection = new QHBoxLayout;
  connection->addWidget(new QLabel("Name:"));
  connection->addWidget(editUsername_);
  connection->addWidget(new QLabel("Adresse:"));
  connection->addWidget(editAddress_);
  connection->addWidget(cmdConnect_);
  connection->addWidget(cmdSilentDisconnect_);
  connection->addStretch(1);

  auto* input = new QGridLayout;
  input->addWidget(keyHelp, 0, 0, 2, 1);
  input->addWidget(editInput_, 0, 1, Qt::AlignTop);
  input->addWidget(editEditField_, 1, 1, 1, 2);
  input->addWidget(rgTiType_, 0, 3, 2, 1);
  input->setColumnStretch(2, 1);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addLayout(memos);
  layout->addLayout(connection);
  layout->addLayout(input);

  engine_.onLog = [this](const std::string& line) { Log(line); };
  editInput_->installEventFilter(this);
  editEditField_->installEventFilter(this);
  connect(cmdConnect_, &QPushButton::clicked, this, [this] { CmdConnectClick(); });
  connect(cmdSilentDisconnect_, &QPushButton::clicked, this,
          [this] { CmdSilentDisconnectClick(); });
  connect(editUsername_, &QLineEdit::returnPressed, this, [this] { CmdConnectClick(); });
  connect(editUsername_, &QLineEdit::textEdited, this, [this](const QString& text) {
    engine_.SetUserName(FromQString(text));
    Refresh();
  });
  connect(models_, &QButtonGroup::idClicked, this, [this](int model) { RGTITypeClick(model); });
  Refresh();
}

TFormTiSim::~TFormTiSim() {
  engine_.onLog = nullptr;
}

void TFormTiSim::Log(const std::string& line) {
  memoLog_->appendPlainText(ToQString(line));
}

void TFormTiSim::ApplyModelLayout() {
  const int model = engine_.SimModel();
  setWindowTitle(model == 0 ? "TIsim 82" : "TIsim 86");
  const int screenWidth = ScreenWidthFor(engine_.Columns());
  memoTiScr_->setFixedWidth(screenWidth);
  memoLog_->setFixedWidth(MemosWidth - screenWidth);
  shownModel_ = model;
}

void TFormTiSim::Refresh() {
  if (engine_.SimModel() != shownModel_) ApplyModelLayout();
  if (engine_.ScreenText() != shownScreen_) {
    shownScreen_ = engine_.ScreenText();
    memoTiScr_->setPlainText(ScreenDisplayText(engine_));
  }
  const QString address = ToQString(engine_.AddressText());
  if (editAddress_->text() != address) editAddress_->setText(address);
  cmdConnect_->setText(ToQString(engine_.ConnectCaption()));
  rgTiType_->setEnabled(!engine_.ModelLocked());
  if (QAbstractButton* chosen = models_->button(engine_.SimModel())) chosen->setChecked(true);
  const QString name = ToQString(engine_.SimUserName());
  if (editUsername_->text() != name) editUsername_->setText(name);
  editEditField_->setEnabled(engine_.InputFieldEnabled());

  if (engine_.ScreenSerial() == shownScreenSerial_) return;
  shownScreenSerial_ = engine_.ScreenSerial();
  // A new screen takes the keys: an input screen in its field, the others in the key box.
  if (engine_.SimExpectedReply() == KindInputReply) {
    editEditField_->setMaxLength(engine_.InputFieldMaxLength());
    editEditField_->setText(ToQString(engine_.InputFieldText()));
    editEditField_->setFocus();
  } else if (engine_.SimExpectedReply() == KindMenuReply ||
             engine_.SimExpectedReply() == KindTextReply) {
    editInput_->setFocus();
  }
}

void TFormTiSim::FormShow() {
  engine_.Show();
  memoLog_->clear();
  Refresh();
}

void TFormTiSim::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TFormTiSim::CmdConnectClick() {
  engine_.Connect();
  Refresh();
}

void TFormTiSim::CmdSilentDisconnectClick() {
  engine_.SilentDisconnect();
  Refresh();
}

void TFormTiSim::RGTITypeClick(int model) {
  engine_.SetModel(model);
  Refresh();
}

bool TFormTiSim::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (watched == editInput_) return KeyBoxKey(key);
    if (watched == editEditField_) return InputFieldKey(key);
  }
  return QWidget::eventFilter(watched, event);
}

bool TFormTiSim::KeyBoxKey(QKeyEvent* key) {
  if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) return false;
  char typed = 0;
  if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
    typed = CalculatorEngine::KeyEnter;
  } else if (key->key() == Qt::Key_Escape) {
    typed = CalculatorEngine::KeyEscape;
  } else if (key->text().size() == 1) {
    typed = FromQString(key->text())[0];
  }
  // The engine takes the key or swallows it; the box never keeps it.
  if (typed != 0) engine_.KeyPress(typed);
  editInput_->clear();
  Refresh();
  return true;
}

bool TFormTiSim::InputFieldKey(QKeyEvent* key) {
  const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
  if (!enter && key->key() != Qt::Key_Escape) return false;
  engine_.SubmitInput(!enter, FromQString(editEditField_->text()));
  Refresh();
  return true;
}

}  // namespace velora
