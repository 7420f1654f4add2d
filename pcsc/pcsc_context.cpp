#include "pcsc/pcsc_context.h"

#include <winscard.h>

#include <type_traits>
#include <utility>

namespace quorvel {

static_assert(std::is_same_v<SCARDCONTEXT, long> && std::is_same_v<LONG, long>,
              "the headers keep PC/SC handles and codes as long");

PcscContext::~PcscContext() {
  Release();
}

PcscContext::PcscContext(PcscContext&& other) noexcept
    : handle_(std::exchange(other.handle_, 0)),
      established_(std::exchange(other.established_, false)) {}

PcscContext& PcscContext::operator=(PcscContext&& other) noexcept {
  if (this != &other) {
    Release();
    handle_ = std::exchange(other.handle_, 0);
    established_ = std::exchange(other.established_, false);
  }
  return *this;
}

PcscError PcscContext::Establish() {
  Release();
  SCARDCONTEXT context = 0;
  const LONG result = SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context);
  if (result != SCARD_S_SUCCESS) return DescribePcscCode(result);
  handle_ = context;
  established_ = true;
  return PcscOk();
}

void PcscContext::Cancel() const {
  if (established_) SCardCancel(handle_);
}

void PcscContext::Release() {
  if (!established_) return;
  SCardReleaseContext(handle_);
  handle_ = 0;
  established_ = false;
}

}  // namespace quorvel
