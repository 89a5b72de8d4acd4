// The input is a print definition. Its lines are evaluated as expressions and substituted
// against a few variables (some referring to each other), and the whole text is drawn as a
// page onto a small image, with one picture, one undecodable picture and one unselected.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "output/printexpression.h"
#include "output_print/printtest.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  tamro::test::EnsureGuiApp();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char *>(data), size);

  tamro::CPrintVariables vars;
  vars.StartPage(210, 297, 1);
  vars.Set("A", "B+1");
  vars.Set("B", "A*2");
  vars.Set("C", text.substr(0, 16));
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t end = text.find('\n', start);
    std::string_view line = text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    vars.EvaluateExpression(line);
    vars.SubstituteVariables(line);
    tamro::ParseHexColour(line);
    if (end == std::string_view::npos) break;
    start = end + 1;
  }

  tamro::test::FakeSource source;
  source.entries = {{"a.bmp", true, 7, 5}, {"b.bmp", false}, {"c.bmp", true, 3, 3, Qt::red, QColor(), false}};
  source.icon = QImage(8, 8, QImage::Format_RGB32);
  tamro::test::ImagePrintDevice device(tamro::test::MeasuresFor(120, 160, 30));
  device.StartPage();
  int index = 0;
  tamro::CPrintLayout(source).PrintDefinitionPage(device, text, index, 1);
  device.EndPage();
  return 0;
}
