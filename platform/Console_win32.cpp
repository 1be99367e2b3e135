#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <iostream>
#include <streambuf>

#include "platform/Console.h"
#include "platform/Text.h"

namespace brindel::platform {

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr)
    return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) {
    const std::wstring_view argument(wide[i]);
    arguments.push_back(ToUtf8(
        std::u16string_view(reinterpret_cast<const char16_t*>(argument.data()), argument.size())));
  }
  ::LocalFree(wide);
  return arguments;
}

namespace {

// Collects UTF-8 up to complete characters and writes them to the console as UTF-16.
class ConsoleBuffer : public std::streambuf {
 public:
  explicit ConsoleBuffer(HANDLE console) : console_(console) {}

 protected:
  int_type overflow(int_type c) override {
    if (c != traits_type::eof()) {
      pending_ += static_cast<char>(c);
      if (c == '\n')
        Flush();
    }
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    pending_.append(s, static_cast<std::size_t>(n));
    if (pending_.find('\n') != std::string::npos)
      Flush();
    return n;
  }
  int sync() override {
    Flush();
    return 0;
  }

 private:
  void Flush() {
    // A character split between two writes waits for its other bytes.
    std::size_t complete = pending_.size();
    std::size_t back = 0;
    while (back < 4 && back < complete &&
           (static_cast<unsigned char>(pending_[complete - 1 - back]) & 0xC0) == 0x80) {
      ++back;
    }
    if (back < complete) {
      const auto lead = static_cast<unsigned char>(pending_[complete - 1 - back]);
      const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
      if (length > back + 1)
        complete -= back + 1;
    }
    const std::u16string text = FromUtf8(std::string_view(pending_).substr(0, complete));
    pending_.erase(0, complete);
    DWORD written = 0;
    if (!text.empty()) {
      ::WriteConsoleW(console_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
  }

  HANDLE console_;
  std::string pending_;
};

// True when the handle is a console window rather than a file or a pipe.
bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && handle != nullptr && ::GetConsoleMode(handle, &mode);
}

void Route(std::ostream& stream, FILE* file, DWORD which) {
  const HANDLE handle = ::GetStdHandle(which);
  if (IsConsole(handle)) {
    static ConsoleBuffer* buffers[2] = {};
    ConsoleBuffer*& buffer = buffers[which == STD_OUTPUT_HANDLE ? 0 : 1];
    buffer = new ConsoleBuffer(handle);  // lives as long as the process
    stream.flush();
    stream.rdbuf(buffer);
  } else {
    // The same bytes as on Linux: no CR is put before each LF.
    ::_setmode(::_fileno(file), _O_BINARY);
  }
}

}  // namespace

void UseUnicodeConsole() {
  Route(std::cout, stdout, STD_OUTPUT_HANDLE);
  Route(std::cerr, stderr, STD_ERROR_HANDLE);
}

}  // namespace brindel::platform
