// The settings reader with values of any type. The first byte chooses the
// store: 0 to 127 values of every kind put into a store through setValue
// (as the registry and QVariant-typed stores give them), 128 to 255 the
// rest of the input as the text of an INI file.
#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "shell/settings.h"

namespace {

constexpr const char* kNames[] = {
    "FontName",    "FontSize",    "FontColor",   "BackColor",  "IntrIntv",   "ShowPanel",
    "ShowMessage", "Wnd1PosX",    "Wnd1PosY",    "Wnd1SizX",   "Wnd1SizY",   "Wnd2PosX",
    "Wnd2PosY",    "Wnd2SizX",    "Wnd2SizY",    "Wnd2FntNam", "Wnd2FntSiz", "Wnd2FntClrF",
    "Wnd2FntClrB", "Wnd3PosX",    "Wnd3PosY",    "Wnd3SizX",   "Wnd3SizY",   "Wnd3FntNam",
    "Wnd3FntSiz",  "Wnd3FntClrF", "Wnd3FntClrB", "MidiOutput", "SoundFont",  "Other",
};

// Takes bytes from the front of the input; zeros once it is used up.
class Bytes {
 public:
  Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool empty() const { return size_ == 0; }
  uint8_t Byte() { return Take(1).empty() ? 0 : static_cast<uint8_t>(last_[0]); }
  template <typename T>
  T Number() {
    T value{};
    std::string raw = Take(sizeof(T));
    std::memcpy(&value, raw.data(), raw.size());
    return value;
  }
  QByteArray Array() {
    std::string raw = Take(Byte() % 48);
    return QByteArray(raw.data(), static_cast<qsizetype>(raw.size()));
  }
  QString String() { return QString::fromUtf8(Array()); }

 private:
  std::string Take(size_t n) {
    n = std::min(n, size_);
    last_.assign(reinterpret_cast<const char*>(data_), n);
    data_ += n;
    size_ -= n;
    return last_;
  }

  const uint8_t* data_;
  size_t size_;
  std::string last_;
};

QVariant AnyValue(Bytes& in, int depth = 0) {
  switch (in.Byte() % 13) {
    case 0:
      return in.Number<int32_t>();
    case 1:
      return in.Number<uint32_t>();
    case 2:
      return static_cast<qlonglong>(in.Number<int64_t>());
    case 3:
      return static_cast<qulonglong>(in.Number<uint64_t>());
    case 4:
      return in.Number<double>();
    case 5:
      return in.Byte() % 2 == 1;
    case 6:
      return in.String();
    case 7:
      return in.Array();
    case 8:
      return QStringList{in.String(), in.String()};
    case 9:
      return depth < 2 ? QVariantList{AnyValue(in, depth + 1)} : QVariant();
    case 10:
      return depth < 2 ? QVariantMap{{in.String(), AnyValue(in, depth + 1)}} : QVariant();
    case 11:
      return QVariant();
    default:
      return QVariant::fromValue(static_cast<short>(in.Number<int16_t>()));
  }
}

QCoreApplication& Application() {
  static int argc = 1;
  static char name[] = "settings_fuzzer";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  return app;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Application();
  static QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("settings.ini"));
  QFile::remove(path);
  if (size == 0) return 0;
  const ReportSettingsProblem quiet = [](const QString&) {};
  if (data[0] >= 128) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return 0;
    file.write(reinterpret_cast<const char*>(data + 1), static_cast<qint64>(size - 1));
    file.close();
    QSettings store(path, QSettings::IniFormat);
    LoadSettings(store, {}, quiet);
    return 0;
  }
  QSettings store(path, QSettings::IniFormat);
  Bytes in(data + 1, size - 1);
  while (!in.empty()) {
    const char* name = kNames[in.Byte() % std::size(kNames)];
    store.setValue(name, AnyValue(in));
  }
  LoadSettings(store, {}, quiet);
  // The store is thrown away unwritten.
  store.clear();
  QFile::remove(path);
  return 0;
}
