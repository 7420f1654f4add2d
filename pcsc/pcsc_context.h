#pragma once

#include "pcsc/pcsc_error.h"

namespace quorvel {

// One connection to the PC/SC service (an SCARDCONTEXT), released when the object goes. The
// service is asked for nothing until Establish; without pcscd that fails at once.
class PcscContext {
 public:
  PcscContext() = default;
  ~PcscContext();
  PcscContext(PcscContext&& other) noexcept;
  PcscContext& operator=(PcscContext&& other) noexcept;
  PcscContext(const PcscContext&) = delete;
  PcscContext& operator=(const PcscContext&) = delete;

  // Connects to the service (releasing a context held before): kNoService when pcscd is not
  // there.
  PcscError Establish();
  bool established() const { return established_; }
  // The SCARDCONTEXT, for the calls of this folder.
  long handle() const { return handle_; }
  // Ends a wait on this context (SCardGetStatusChange) from another thread.
  void Cancel() const;
  void Release();

 private:
  long handle_ = 0;
  bool established_ = false;
};

}  // namespace quorvel
