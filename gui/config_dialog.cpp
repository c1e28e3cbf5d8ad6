// The configuration dialog's widgets over the settings form.
#include "gui/config_dialog.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "common/cp1252.h"
#include "gui/message_boxes.h"
#include "platform/qt/qt_text.h"
#include "store/old_logs.h"

namespace velora {

namespace {

using Id = SettingId;

constexpr int NumberWidth = 44;
constexpr char SettingRowProperty[] = "settingRow";

QString Q(std::string_view cp1252) {
  return ToQString(cp1252);
}

// A check box whose number field lies over the run of blanks in its caption.
class GapCheckBox : public QCheckBox {
 public:
  GapCheckBox(const QString& caption, QLineEdit* field) : QCheckBox(caption), field_(field) {
    field_->setParent(this);
  }
  QSize sizeHint() const override { return WithFieldHeight(QCheckBox::sizeHint()); }
  QSize minimumSizeHint() const override { return WithFieldHeight(QCheckBox::minimumSizeHint()); }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QCheckBox::resizeEvent(event);
    PlaceField();
  }

 private:
  QSize WithFieldHeight(QSize size) const {
    size.setHeight(std::max(size.height(), field_->sizeHint().height()));
    return size;
  }
  void PlaceField() {
    QStyleOptionButton option;
    initStyleOption(&option);
    const QRect contents = style()->subElementRect(QStyle::SE_CheckBoxContents, &option, this);
    const QString caption = text();
    const qsizetype gapStart = caption.indexOf("  ");
    if (gapStart < 0) return;
    qsizetype gapEnd = gapStart;
    while (gapEnd < caption.size() && caption[gapEnd] == ' ')
      ++gapEnd;
    const QFontMetrics metrics(font());
    const int x = contents.left() + metrics.horizontalAdvance(caption.left(gapStart));
    const int width = metrics.horizontalAdvance(caption.mid(gapStart, gapEnd - gapStart));
    const int height = std::min(field_->sizeHint().height(), this->height());
    field_->setGeometry(x + 2, (this->height() - height) / 2, std::max(width - 4, 16), height);
  }

  QLineEdit* field_;
};

QHBoxLayout* HRow(std::initializer_list<QWidget*> widgets, bool stretch = true) {
  auto* row = new QHBoxLayout;
  row->setSpacing(4);
  for (QWidget* widget : widgets)
    row->addWidget(widget);
  if (stretch) row->addStretch(1);
  return row;
}

QVBoxLayout* VColumn(QWidget* owner) {
  auto* column = new QVBoxLayout(owner);
  column->setSpacing(2);
  column->setContentsMargins(6, 4, 6, 4);
  return column;
}

}  // namespace

TForm2::TForm2(SettingsForm& form, SettingsStore& store, OperatorUi& ui,
               std::function<bool()> running, std::string logDirectory, QWidget* parent)
    : TForm2(form, Steps{[&store] { return store.Load(); }, [&store] { return store.Save(); }}, ui,
             std::move(running), std::move(logDirectory), parent) {}

TForm2::TForm2(SettingsForm& form, Steps steps, OperatorUi& ui, std::function<bool()> running,
               std::string logDirectory, QWidget* parent)
    : QDialog(parent),
      form_(form),
      steps_(std::move(steps)),
      ui_(ui),
      running_(std::move(running)),
      logDirectory_(std::move(logDirectory)) {
  setWindowTitle("Konfiguration");
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setModal(true);

  tabs_ = new QTabWidget(this);
  tabs_->addTab(BuildServerPage(), "Serveroptionen");
  tabs_->addTab(BuildRadioPage(), "Funkanpassung");
  tabs_->addTab(BuildInternetPage(), "Internetanbindung");
  tabs_->setCurrentIndex(0);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(tabs_);

  form_.SetChangeHandler([this](SettingId id) { Sync(id); });
  SyncAll();
  setFixedSize(std::max(492, sizeHint().width()), std::max(296, sizeHint().height()));
}

TForm2::~TForm2() {
  form_.SetChangeHandler({});
}

void TForm2::Register(SettingId id, QWidget* widget) {
  widget->setObjectName(
      QString::fromLatin1(Def(id).name.data(), static_cast<qsizetype>(Def(id).name.size())));
  widget->setProperty(SettingRowProperty, velora::Row(id));
  fields_[static_cast<std::size_t>(velora::Row(id))] = widget;
}

QLineEdit* TForm2::MakeEdit(SettingId id, int width) {
  const SettingDef& def = Def(id);
  auto* edit = new QLineEdit;
  Register(id, edit);
  if (def.maxLength > 0) edit->setMaxLength(def.maxLength);
  edit->setReadOnly(def.readOnly);
  if (def.number && width == 0) width = NumberWidth;
  if (width > 0) edit->setFixedWidth(width);
  edit->installEventFilter(this);
  connect(edit, &QLineEdit::textEdited, this,
          [this, id](const QString& text) { form_.SetText(id, FromQString(text)); });
  return edit;
}

QWidget* TForm2::MakeCheck(SettingId id, const QString& caption,
                           std::optional<SettingId> gapField) {
  QCheckBox* check =
      gapField ? new GapCheckBox(caption, MakeEdit(*gapField)) : new QCheckBox(caption);
  Register(id, check);
  connect(check, &QCheckBox::clicked, this, [this, id](bool checked) {
    form_.SetChecked(id, checked);
    Sync(id);
  });
  return check;
}

QWidget* TForm2::MakeRadio(SettingId id, const QString& caption) {
  // The form keeps the group exclusive and allows none chosen, which Qt's own grouping cannot.
  auto* radio = new QRadioButton(caption);
  radio->setAutoExclusive(false);
  Register(id, radio);
  connect(radio, &QRadioButton::clicked, this, [this, id] {
    form_.SetChecked(id, true);
    Sync(id);
  });
  return radio;
}

QWidget* TForm2::BuildServerPage() {
  auto* page = new QWidget;
  auto* column = VColumn(page);

  auto* logGroup = new QGroupBox("Logdatei");
  auto* logColumn = VColumn(logGroup);
  logColumn->addLayout(HRow({new QLabel("Logdatei nach "), MakeEdit(Id::EditCSMaxLogLines),
                             new QLabel("geschriebenen Zeilen in neuer Datei fortsetzen")}));
  deleteLogLabel_ = new QLabel(Q("löschen"_cp));
  deleteLogLabel_->setObjectName("LabelDeleteLog");
  deleteLogLabel_->setStyleSheet("color: blue; text-decoration: underline;");
  deleteLogLabel_->setCursor(Qt::PointingHandCursor);
  deleteLogLabel_->installEventFilter(this);
  logColumn->addLayout(HRow({MakeCheck(Id::CheckCSDeleteOldLog, "immer dieselbe Logdatei benutzen"),
                             new QLabel("alte Logdateien jetzt"), deleteLogLabel_}));
  logColumn->addLayout(
      HRow({new QLabel(Q("fortgesetzte Logdateien zusammen höchstens"_cp)),
            MakeEdit(Id::EditCSMaxLogFolderMB),
            new QLabel(Q("MB (0: unbegrenzt), die ältesten werden gelöscht"_cp))}));
  logColumn->addLayout(
      HRow({new QLabel("Content-Verzeichnis:"), MakeEdit(Id::EditCSContent, 200),
            MakeCheck(Id::CheckCSNoWrap, "serverseitigen Textumbruch deaktivieren")}));
  column->addWidget(logGroup);

  column->addWidget(MakeCheck(Id::CheckDoNotUseTableInTiSim,
                              "TiSim soll Zeichensatz nicht von TI nach PC ASCII konvertieren"));
  column->addWidget(MakeCheck(Id::CheckCSKickNotReplyingTIs,
                              "TIs, die             Mal nicht antworten, zwangsweise abmelden",
                              Id::EditCSKickAfterNumOfNoReplies));
  column->addWidget(MakeCheck(Id::CheckCSLoginCompulsory,
                              Q("zum Zugriff auf das Velora ist ein Login mit Paßwort nötig"_cp)));
  column->addWidget(MakeCheck(Id::CheckCSLimitNumOfMails,
                              "beim POP3 Mailabruf maximal             Emails herunterladen",
                              Id::EditCSMaxNumOfMails));
  column->addWidget(
      MakeCheck(Id::CheckCSLimitSizeOfMails,
                Q("beim POP3 Mailabruf maximal             kB große Emails herunterladen"_cp),
                Id::EditCSMaxSizeOfMails));
  column->addWidget(MakeCheck(Id::CheckCSDropRcvdWhileTXENWechsel,
                              Q("während des TXEN-Wechsels empfangene Daten ignorieren"_cp)));

  auto* slider = new QSlider(Qt::Horizontal);
  Register(Id::TrackCSNumOfLogoutAcks, slider);
  slider->setRange(SliderMin, SliderMax);
  slider->setTickInterval(1);
  slider->setTickPosition(QSlider::TicksBelow);
  slider->setFixedWidth(160);
  connect(slider, &QSlider::valueChanged, this,
          [this](int position) { form_.SetSliderPosition(position); });
  sliderLabel_ = new QLabel;
  sliderLabel_->setObjectName("LabelNumOfLogOutAcks");
  column->addLayout(HRow({slider, sliderLabel_}));

  auto* combo = new QComboBox;
  Register(Id::ComboCSPort, combo);
  combo->setEditable(false);
  combo->setMinimumWidth(150);
  connect(combo, &QComboBox::activated, this, [this](int index) {
    // Entry 0 is "no port"; the form counts the system's ports from 0.
    form_.SetComboIndex(index - 1);
    Sync(Id::ComboCSPort);
  });
  auto* virtualNote = new QLabel("ohne COM-Port: virtuelles Funknetz");
  virtualNote->setObjectName("LabelVirtualRadio");
  column->addLayout(HRow({new QLabel("Server verwendet COM-Port:"), combo, virtualNote}));
  column->addStretch(1);
  return page;
}

QWidget* TForm2::BuildRadioPage() {
  auto* page = new QWidget;
  auto* column = VColumn(page);

  auto* radioGroup = new QGroupBox(Q("Funkkompatibilität"_cp));
  auto* grid = new QGridLayout(radioGroup);
  grid->setVerticalSpacing(2);
  grid->setContentsMargins(6, 4, 6, 4);
  const std::pair<const char*, Id> pauses[] = {
      {"Pause, wenn TXEN auf Lesen gesetzt wird:", Id::EditCSTXEN2r},
      {"Pause, wenn TXEN auf Schreiben gesetzt wird:", Id::EditCSTXEN2w},
      {"Pause nach Anmeldefreigabe:", Id::EditCSRegisterWait},
      {"Pause nach Sendefreigabe:", Id::EditCSReceiveWait},
  };
  int row = 0;
  for (const auto& [caption, id] : pauses) {
    grid->addWidget(new QLabel(caption), row, 0);
    grid->addWidget(MakeEdit(id), row, 1);
    ++row;
  }
  grid->addWidget(MakeCheck(Id::CheckCSMarkingCond,
                            Q("Marking Condition während TXEN-Wechsel auf Senden setzen."_cp)),
                  row++, 0, 1, 3);
  grid->addWidget(
      MakeCheck(Id::CheckCFSendAfterTXEN,
                Q("nach einem TXEN-Wechsel vor dem nächsten Paket folgende Zeichen senden:"_cp)),
      row, 0);
  QLineEdit* afterSwitch = MakeEdit(Id::EditCFSendAfterTXEN, 24);
  // Its hint is kept but not shown on hovering.
  afterSwitch->setAccessibleDescription(
      "dieses Zeichen wird nach dem TXEN-Wechsel auf (serverseitig) Senden gesendet");
  grid->addWidget(afterSwitch, row++, 1);
  grid->addWidget(MakeCheck(Id::CheckCSSendPacketInitString,
                            "vor jedem Paket einen Initstring mit folgenden Zeichen senden:"),
                  row, 0);
  QLineEdit* initString = MakeEdit(Id::EditCSPacketInitString, 36);
  initString->setToolTip(
      "beim Empfangen wird dieses Zeichen dieses Feldes als Paketstart gewertet");
  grid->addWidget(initString, row++, 1);
  grid->setColumnStretch(2, 1);
  column->addWidget(radioGroup);

  auto* txenGroup = new QGroupBox("TXEN Wechsel");
  auto* txenColumn = VColumn(txenGroup);
  QWidget* onTxEmpty = MakeRadio(Id::RBCSTXENTXEmpty, Q("bei Auslösung von TX Empty"_cp));
  onTxEmpty->setToolTip(
      Q("TXEN-Wechsel erfolgt bei der Auslösung des Events \"Empfangspuffer leer\""_cp));
  QWidget* afterPause = MakeRadio(Id::RBCSTXENBreak, "nach berechneter Pause");
  afterPause->setToolTip("TXEN-Wechsel erfolgt nach berechneter Pause");
  txenColumn->addWidget(onTxEmpty);
  txenColumn->addWidget(afterPause);

  auto* dtrGroup = new QGroupBox("Com.SetDTRState (DTR true = 0V am Port)");
  auto* dtrColumn = VColumn(dtrGroup);
  QWidget* highHigh = MakeRadio(Id::RBCSDTRhighhigh, "TXEN high = DTR true (0 V) und umgekehrt");
  highHigh->setToolTip("TXEN ist gesetzt, wenn auf DTR 0 Volt anliegen");
  QWidget* highLow = MakeRadio(Id::RBCSDTRhighlow, "TXEN high = DTR false (5 V) und umgekehrt");
  highLow->setAccessibleDescription("TXEN ist gesetzt, wenn auf DTR 5 Volt anliegen");
  dtrColumn->addWidget(highHigh);
  dtrColumn->addWidget(highLow);

  auto* groups = new QHBoxLayout;
  groups->addWidget(txenGroup);
  groups->addWidget(dtrGroup);
  column->addLayout(groups);

  QLineEdit* shortPause = MakeEdit(Id::EditCSPauseAfterSendShortPacket);
  shortPause->setToolTip("Pause nach einem Steuerpaket");
  QLineEdit* longPause = MakeEdit(Id::EditCSPauseAfterSendLongPacket);
  longPause->setToolTip("Pause nach einem Inhaltspaket");
  column->addLayout(HRow({new QLabel("Pause nach dem Senden jedes Paketes in Millisekunden:"),
                          shortPause, longPause}));
  column->addLayout(
      HRow({new QLabel(Q("Maximale Länge der Daten in einem Paket (single packet):"_cp)),
            MakeEdit(Id::EditCSMaxLenSinglePacket)}));
  column->addStretch(1);
  return page;
}

QWidget* TForm2::BuildInternetPage() {
  auto* page = new QWidget;
  auto* column = VColumn(page);
  auto* proxyGroup = new QGroupBox("HTTP Proxy");
  auto* grid = new QGridLayout(proxyGroup);
  grid->addWidget(new QLabel("IP:"), 0, 0);
  grid->addWidget(MakeEdit(Id::EditCIProxyIP, 160), 0, 1);
  grid->addWidget(new QLabel("Port:"), 1, 0);
  grid->addWidget(MakeEdit(Id::EditCIProxyPort, 60), 1, 1);
  grid->setColumnStretch(2, 1);
  column->addWidget(proxyGroup);
  auto* statusGroup = new QGroupBox("Statusseite und Metriken (HTTP)");
  auto* status = new QGridLayout(statusGroup);
  status->addWidget(new QLabel("Adresse:Port:"), 0, 0);
  status->addWidget(MakeEdit(Id::EditCIHttpStatus, 160), 0, 1);
  status->addWidget(new QLabel("leer: aus; z. B. 127.0.0.1:8080"), 1, 1);
  status->setColumnStretch(2, 1);
  column->addWidget(statusGroup);
  column->addStretch(1);
  return page;
}

void TForm2::SyncAll() {
  for (const SettingDef& def : SettingsTable())
    Sync(def.id);
}

void TForm2::Sync(SettingId id) {
  QWidget* widget = Field(id);
  widget->setEnabled(form_.Enabled(id));
  switch (Def(id).kind) {
    case SettingKind::Text: {
      auto* edit = static_cast<QLineEdit*>(widget);
      const QString text = ToQString(form_.Text(id));
      if (edit->text() != text) edit->setText(text);
      break;
    }
    case SettingKind::Flag:
      static_cast<QAbstractButton*>(widget)->setChecked(form_.Checked(id));
      break;
    case SettingKind::Choice: {
      auto* combo = static_cast<QComboBox*>(widget);
      if (shownPortNames_ != form_.PortNames() || combo->count() == 0) {
        shownPortNames_ = form_.PortNames();
        const QSignalBlocker blocker(combo);
        combo->clear();
        combo->addItem("(kein Port)");
        for (const std::string& name : shownPortNames_)
          combo->addItem(ToQString(name));
      }
      combo->setCurrentIndex(form_.ComboIndex() + 1);
      break;
    }
    case SettingKind::Position: {
      auto* slider = static_cast<QSlider*>(widget);
      const QSignalBlocker blocker(slider);
      slider->setValue(form_.SliderPosition());
      sliderLabel_->setText(ToQString(form_.SliderLabel()));
      break;
    }
  }
}

bool TForm2::FormShow() {
  if (const SettingsFailure failure = steps_.load()) {
    ui_.ShowMessage(ExceptionBoxText(*failure));
    return false;
  }
  return true;
}

bool TForm2::FormClose() {
  if (const SettingsFailure failure = steps_.save()) {
    ui_.ShowMessage(ExceptionBoxText(*failure));
    return false;
  }
  return true;
}

void TForm2::reject() {
  if (FormClose()) QDialog::reject();
}

void TForm2::LabelDeleteLogClick() {
  if (running_ && running_()) {
    ui_.ShowMessage("Geht nicht solange der Server läuft."_cp);
    return;
  }
  if (!ui_.Confirm("Logdateien wirklich löschen?"_cp)) return;
  ui_.ShowMessage(DeletedLogsMessage(DeleteOldLogs(logDirectory_)));
}

bool TForm2::eventFilter(QObject* watched, QEvent* event) {
  if (watched == deleteLogLabel_ && event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    LabelDeleteLogClick();
    return true;
  }
  if (event->type() != QEvent::KeyPress) return QDialog::eventFilter(watched, event);
  const QVariant row = watched->property(SettingRowProperty);
  if (!row.isValid()) return QDialog::eventFilter(watched, event);
  const auto id = static_cast<SettingId>(row.toInt());
  // Only typed characters are filtered; editing keys and shortcuts carry control characters.
  for (const QChar c : static_cast<QKeyEvent*>(event)->text()) {
    const bool control = (c.unicode() < 0x20 && c != QChar('\b')) || c.unicode() == 0x7F;
    if (control) continue;
    const std::string typed = FromQString(QString(c));
    if (!form_.AcceptsTypedKey(id, typed[0])) return true;
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace velora
