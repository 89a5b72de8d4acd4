// The input is a print definition. Its lines are evaluated as expressions and substituted
// against a few variables (some referring to each other), and the whole text is drawn as a
// page onto a small image with two pictures to take.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include "output/printdevice.h"
#include "output/printexpression.h"
#include "output/printlayout.h"
#include "picture/dib.h"

namespace {

class ImageDevice : public tamro::CPrintDevice {
 public:
  ImageDevice() : image_(120, 160, QImage::Format_RGB32) {}
  tamro::PrintMeasures Measures() const override {
    tamro::PrintMeasures m;
    m.horzRes = 120, m.vertRes = 160, m.logPixelsX = m.logPixelsY = 30;
    m.horzSizeMm = 101, m.vertSizeMm = 135;
    return m;
  }
  bool StartDoc(std::string_view, std::string &) override { return true; }
  bool StartPage() override {
    image_.fill(Qt::white);
    painter_ = std::make_unique<QPainter>(&image_);
    return true;
  }
  QPainter *Painter() override { return painter_.get(); }
  int EndPage() override {
    painter_.reset();
    return 1;
  }
  bool EndDoc() override { return true; }
  void AbortDoc() override {}

 private:
  QImage image_;
  std::unique_ptr<QPainter> painter_;
};

class TwoPictures : public tamro::CPrintSource {
 public:
  int EntryCount() const override { return 3; }
  bool IsSelected(int i) const override { return i != 1; }
  std::string EntryName(int) const override { return "x.bmp"; }
  tamro::HDIB LoadPicture(int i) override { return i == 0 ? tamro::CreateDib(7, 5, 24) : nullptr; }
  std::string ExpandText(int i, std::string_view format) const override {
    return i < 0 ? std::string() : std::string(format);
  }
  bool DrawFileIcon(QPainter &painter, const QRect &rect, int) override {
    painter.fillRect(rect.adjusted(4, 4, -4, -4), Qt::darkGray);
    return true;
  }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static QGuiApplication app(*argc, *argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char *>(data), size);

  tamro::CPrintVariables vars;
  vars.StartPage(210, 297, 1);
  vars.Set("A", "B+1");
  vars.Set("B", "A*2");
  vars.Set("C", text.substr(0, 64));
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t end = text.find('\n', start);
    std::string_view line = text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    vars.EvaluateExpression(line);
    vars.SubstituteVariables(line);
    tamro::ParseHexColour(line);
    if (end == std::string_view::npos) break;
    start = end + 1;
  }

  TwoPictures source;
  ImageDevice device;
  tamro::CPrintLayout layout(source);
  device.StartPage();
  int index = 0;
  layout.PrintDefinitionPage(device, text, index, 1);
  device.EndPage();
  return 0;
}
