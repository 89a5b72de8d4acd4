#pragma once

namespace tamro::test {

// A headless QGuiApplication for tests that ask the font database; made once per process.
void EnsureGuiApp();

}  // namespace tamro::test
