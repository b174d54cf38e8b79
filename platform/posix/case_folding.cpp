#include "platform/case_folding.h"

#include <locale.h>
#include <wchar.h>
#include <wctype.h>

#include <climits>

#include "platform/text_conversion.h"

namespace {

// C.UTF-8 for character classes, made once and kept for the program's life.
class Utf8Locale {
 public:
  Utf8Locale() : locale_(newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{})) {}
  ~Utf8Locale() {
    if (locale_ != locale_t{}) freelocale(locale_);
  }
  Utf8Locale(const Utf8Locale&) = delete;
  Utf8Locale& operator=(const Utf8Locale&) = delete;
  locale_t get() const { return locale_; }

 private:
  locale_t locale_;
};

// The calling thread's locale for a scope: mbrtowc and wcrtomb have no _l form.
class ThreadLocale {
 public:
  explicit ThreadLocale(locale_t locale) : previous_(uselocale(locale)) {}
  ~ThreadLocale() { uselocale(previous_); }
  ThreadLocale(const ThreadLocale&) = delete;
  ThreadLocale& operator=(const ThreadLocale&) = delete;

 private:
  locale_t previous_;
};

}  // namespace

std::string UppercaseText(std::string_view utf8) {
  if (IsAscii(utf8)) return UppercaseAscii(utf8);
  static const Utf8Locale locale;
  if (locale.get() == locale_t{}) return std::string(utf8);
  ThreadLocale scope(locale.get());
  std::string out;
  out.reserve(utf8.size());
  mbstate_t in{};
  mbstate_t put{};
  for (std::size_t i = 0; i < utf8.size();) {
    wchar_t c = 0;
    std::size_t length = mbrtowc(&c, utf8.data() + i, utf8.size() - i, &in);
    if (length == static_cast<std::size_t>(-1) || length == static_cast<std::size_t>(-2)) {
      return std::string(utf8);
    }
    i += length == 0 ? 1 : length;  // 0: a NUL character
    char bytes[MB_LEN_MAX];
    std::size_t written = wcrtomb(
        bytes, static_cast<wchar_t>(towupper_l(static_cast<wint_t>(c), locale.get())), &put);
    if (written == static_cast<std::size_t>(-1)) return std::string(utf8);
    out.append(bytes, written);
  }
  return out;
}
