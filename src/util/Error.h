#pragma once
// The one error type the lower layers raise. Its message is the Turkish text the user will read; the handler
// that started the operation adds its fixed prefix ("Geri yükleme hatası: ", ...) when it shows or logs it.
#include <stdexcept>
#include <string>

namespace velkor {

class EVelkorError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

}  // namespace velkor
