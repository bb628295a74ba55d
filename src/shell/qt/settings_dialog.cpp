#include "shell/qt/settings_dialog.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include "shell/qt/colors.h"
#include "shell/qt/dialogs.h"

namespace {

constexpr int kGroupLeft = 16;
constexpr int kGroupWidth = 289;
constexpr int kFontGroupHeight = 97;

QString OutputLabel(const QString& value) {
  if (value == QLatin1String("synth")) return QStringLiteral("内蔵シンセサイザ");
  if (value == QLatin1String("none")) return QStringLiteral("なし");
  if (value.startsWith(QLatin1String("alsa:"))) return value.mid(5);
  return value;
}

}  // namespace

QString FontLabelText(const FontSetting& group) {
  return group.name + QLatin1Char(' ') + QString::number(group.size);
}

void InstallFontSubstitutes() {
  // The designed fonts are Windows fonts; elsewhere their Japanese gothic
  // counterparts stand in for them, fixed pitch for fixed pitch.
  QFont::insertSubstitutions(QStringLiteral("ＭＳ ゴシック"),
                             {QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans Mono CJK JP"),
                              QStringLiteral("VL Gothic"), QStringLiteral("Monospace")});
  QFont::insertSubstitutions(QStringLiteral("ＭＳ Ｐゴシック"),
                             {QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP"),
                              QStringLiteral("VL PGothic"), QStringLiteral("Sans Serif")});
}

QString InstalledFamily(const QString& name) {
  if (QFontDatabase::hasFamily(name)) return name;
  // A missing face (most often a designed Windows font) falls back on a
  // fixed-pitch face that holds Japanese, so that the report's columns
  // line up and the messages can be read.
  for (const char* family :
       {"IPAGothic", "Noto Sans Mono CJK JP", "VL Gothic", "TakaoGothic", "IPAexGothic"}) {
    const QString candidate = QString::fromLatin1(family);
    if (QFontDatabase::hasFamily(candidate) &&
        QFontDatabase::writingSystems(candidate).contains(QFontDatabase::Japanese)) {
      return candidate;
    }
  }
  return QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
}

QFont FontOfGroup(const FontSetting& group) {
  QFont font(InstalledFamily(group.name));
  font.setStyleHint(QFont::TypeWriter);
  if (group.size > 0) font.setPointSize(group.size);
  return font;
}

SettingsDialog::SettingsDialog(Dialogs* dialogs, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      dialogs_(dialogs) {
  setObjectName(QStringLiteral("TForm5"));
  setWindowTitle(QStringLiteral("各種設定"));
  CreateFontGroup(0, QStringLiteral("エディタ"), 8);
  CreateFontGroup(1, QStringLiteral("コンパイラ出力"), 112);
  CreateFontGroup(2, QStringLiteral("ファイル選択"), 216);
  CreateIntervalGroup(320);
  CreateOutputGroup(392);

  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setObjectName(QStringLiteral("BitBtn1"));
  ok_->setGeometry(80, 508, 75, 25);
  ok_->setDefault(true);
  cancel_ = new QPushButton(QStringLiteral("キャンセル"), this);
  cancel_->setObjectName(QStringLiteral("BitBtn2"));
  cancel_->setGeometry(176, 508, 75, 25);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  setFixedSize(327, 545);
}

void SettingsDialog::CreateFontGroup(int group, const QString& caption, int top) {
  auto* box = new QGroupBox(caption, this);
  box->setGeometry(kGroupLeft, top, kGroupWidth, kFontGroupHeight);
  Row& row = rows_[group];
  row.label = new QLabel(box);
  row.label->setObjectName(QStringLiteral("FontName%1").arg(group + 1));
  row.label->setGeometry(8, 24, 112, 17);
  row.label->setAlignment(Qt::AlignCenter);
  row.sample = new QLabel(QStringLiteral("AaBbあア亜"), box);
  row.sample->setObjectName(QStringLiteral("Sample%1").arg(group + 1));
  row.sample->setGeometry(128, 16, 137, 33);
  row.sample->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  row.sample->setAlignment(Qt::AlignCenter);
  row.sample->setAutoFillBackground(true);
  row.font = new QPushButton(QStringLiteral("フォント"), box);
  row.font->setGeometry(16, 64, 75, 25);
  row.color = new QPushButton(QStringLiteral("前景色"), box);
  row.color->setGeometry(104, 64, 75, 25);
  row.back = new QPushButton(QStringLiteral("背景色"), box);
  row.back->setGeometry(192, 64, 75, 25);
  connect(row.font, &QPushButton::clicked, this, [this, group] { ChooseFont(group); });
  connect(row.color, &QPushButton::clicked, this, [this, group] { ChooseColor(group, false); });
  connect(row.back, &QPushButton::clicked, this, [this, group] { ChooseColor(group, true); });
}

void SettingsDialog::CreateIntervalGroup(int top) {
  auto* box = new QGroupBox(QStringLiteral("割り込み周期"), this);
  box->setGeometry(kGroupLeft, top, kGroupWidth, 65);
  interval_ = new QSpinBox(box);
  interval_->setObjectName(QStringLiteral("UpDown1"));
  interval_->setGeometry(56, 24, 97, 24);
  interval_->setRange(1, 99);
  interval_->setSingleStep(1);
  interval_->setWrapping(false);
  // The number changes only through the arrows, which stop at the ends.
  if (auto* field = interval_->findChild<QLineEdit*>()) field->setReadOnly(true);
  auto* unit = new QLabel(QStringLiteral("単位：msec"), box);
  unit->setObjectName(QStringLiteral("IntrExp"));
  unit->setGeometry(184, 28, 96, 17);
}

void SettingsDialog::CreateOutputGroup(int top) {
  auto* box = new QGroupBox(QStringLiteral("MIDI出力"), this);
  box->setGeometry(kGroupLeft, top, kGroupWidth, 105);
  auto* output_label = new QLabel(QStringLiteral("出力先"), box);
  output_label->setGeometry(12, 24, 70, 24);
  output_ = new QComboBox(box);
  output_->setGeometry(84, 24, 193, 24);
  auto* font_label = new QLabel(QStringLiteral("SoundFont"), box);
  font_label->setGeometry(12, 56, 70, 24);
  soundfont_ = new QLineEdit(box);
  soundfont_->setGeometry(84, 56, 153, 24);
  soundfont_->setPlaceholderText(QStringLiteral("(標準)"));
  auto* browse = new QPushButton(QStringLiteral("..."), box);
  browse->setGeometry(241, 56, 36, 24);
  connect(browse, &QPushButton::clicked, this, &SettingsDialog::ChooseSoundFont);
}

void SettingsDialog::SetValues(const SettingsValues& values, const QStringList& outputs) {
  interval_->setValue(values.interval);
  for (int group = 0; group < 3; ++group) {
    groups_[group] = values.groups[group];
    ShowGroup(group);
  }
  output_->clear();
  QStringList choices = outputs;
  if (!values.output.isEmpty() && !choices.contains(values.output)) choices.append(values.output);
  for (const QString& value : choices) output_->addItem(OutputLabel(value), value);
  output_->setCurrentIndex(std::max(0, output_->findData(values.output)));
  soundfont_->setText(values.soundfont);
}

SettingsValues SettingsDialog::Values() const {
  SettingsValues values;
  values.interval = static_cast<int16_t>(interval_->value());
  for (int group = 0; group < 3; ++group) values.groups[group] = groups_[group];
  values.output = output_->currentData().toString();
  values.soundfont = soundfont_->text();
  return values;
}

void SettingsDialog::FocusOutput() {
  output_->setFocus();
}

void SettingsDialog::ShowGroup(int group) {
  const FontSetting& g = groups_[group];
  Row& row = rows_[group];
  row.label->setText(FontLabelText(g));
  row.sample->setFont(FontOfGroup(g));
  QPalette p = row.sample->palette();
  p.setColor(QPalette::WindowText, ColorFromValue(g.color));
  p.setColor(QPalette::Window, ColorFromValue(g.back_color));
  row.sample->setPalette(p);
}

void SettingsDialog::ChooseFont(int group) {
  // The dialog opens on the face actually in use; OK without a change keeps
  // the group as it was (a designed name that stands for another face stays).
  QFont font = FontOfGroup(groups_[group]);
  font.setFamily(QFontInfo(font).family());
  const QFont shown = font;
  if (!dialogs_->AskFont(this, &font)) return;
  if (font.family() == shown.family() && font.pointSize() == shown.pointSize()) return;
  // Only the face and the size are taken; the colour stays the group's.
  groups_[group].name = font.family();
  groups_[group].size = font.pointSize() > 0 ? font.pointSize() : groups_[group].size;
  ShowGroup(group);
}

void SettingsDialog::ChooseColor(int group, bool background) {
  int32_t& value = background ? groups_[group].back_color : groups_[group].color;
  QColor color = ColorFromValue(value);
  if (!dialogs_->AskColor(this, &color)) return;
  value = ValueFromColor(color);
  ShowGroup(group);
}

void SettingsDialog::ChooseSoundFont() {
  QString path =
      dialogs_->AskOpenPath(this, soundfont_->text(), QStringLiteral("SoundFont (*.sf2 *.sf3)"));
  if (!path.isEmpty()) soundfont_->setText(path);
}
