#include "pcsc/card_connection.h"

#include <winscard.h>

#include <string>
#include <utility>

#include "iso7816/atr.h"

namespace quorvel {
namespace {

DWORD ProtocolBit(CardProtocol protocol) {
  return protocol == CardProtocol::kT1 ? SCARD_PROTOCOL_T1 : SCARD_PROTOCOL_T0;
}

constexpr std::size_t kShortestCommand = 4;
// CLA INS P1 P2, an extended Lc (3 bytes), 65535 data bytes and an extended Le (2 bytes).
constexpr std::size_t kLongestCommand = 4 + 3 + 65535 + 2;

CardProtocol FromProtocolBit(DWORD bit) {
  return bit == SCARD_PROTOCOL_T1 ? CardProtocol::kT1 : CardProtocol::kT0;
}

}  // namespace

CardProtocol ChooseProtocol(ProtocolChoice choice, std::span<const std::uint8_t> atr) {
  switch (choice) {
    case ProtocolChoice::kT0:
      return CardProtocol::kT0;
    case ProtocolChoice::kT1:
      return CardProtocol::kT1;
    case ProtocolChoice::kByCard:
      break;
  }
  // As on the serial line; an ATR that cannot be read, or offers neither, gets T=0.
  const std::optional<AtrProtocols> offered = ReadAtrProtocols(atr);
  if (!offered) return CardProtocol::kT0;
  return ChooseProtocol(*offered, choice).value_or(CardProtocol::kT0);
}

PcscConnection::~PcscConnection() {
  Disconnect();
}

PcscConnection::PcscConnection(PcscConnection&& other) noexcept
    : handle_(std::exchange(other.handle_, 0)),
      connected_(std::exchange(other.connected_, false)),
      reader_(std::move(other.reader_)),
      atr_(std::move(other.atr_)),
      protocol_(other.protocol_),
      receive_(std::move(other.receive_)) {}

PcscConnection& PcscConnection::operator=(PcscConnection&& other) noexcept {
  if (this != &other) {
    Disconnect();
    handle_ = std::exchange(other.handle_, 0);
    connected_ = std::exchange(other.connected_, false);
    reader_ = std::move(other.reader_);
    atr_ = std::move(other.atr_);
    protocol_ = other.protocol_;
    receive_ = std::move(other.receive_);
  }
  return *this;
}

PcscError PcscConnection::Connect(const PcscContext& context, const std::string& reader,
                                  std::optional<CardProtocol> only) {
  Disconnect();
  reader_ = reader;
  atr_.clear();
  SCARDHANDLE handle = 0;
  DWORD active = 0;
  const DWORD protocols = only ? ProtocolBit(*only) : SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1;
  const LONG result = SCardConnect(context.handle(), reader.c_str(), SCARD_SHARE_EXCLUSIVE,
                                   protocols, &handle, &active);
  if (result != SCARD_S_SUCCESS) return Failure(result);
  handle_ = handle;
  connected_ = true;
  protocol_ = FromProtocolBit(active);
  return ReadStatus();
}

PcscError PcscConnection::ColdReset(CardProtocol protocol) {
  if (!connected_) return Failure(SCARD_E_INVALID_HANDLE);
  DWORD active = 0;
  const LONG result = SCardReconnect(handle_, SCARD_SHARE_EXCLUSIVE, ProtocolBit(protocol),
                                     SCARD_UNPOWER_CARD, &active);
  if (result == SCARD_E_PROTO_MISMATCH) {
    return {PcscFault::kCardRefused, result,
            "The card in the reader \"" + reader_ + "\" does not offer " + ProtocolName(protocol)};
  }
  if (result != SCARD_S_SUCCESS) return Failure(result);
  protocol_ = FromProtocolBit(active);
  return ReadStatus();
}

PcscError PcscConnection::ColdReset(ProtocolChoice choice) {
  return ColdReset(ChooseProtocol(choice, atr_));
}

PcscError PcscConnection::Transmit(std::span<const std::uint8_t> apdu,
                                   std::vector<std::uint8_t>& answer) {
  answer.clear();
  if (!connected_) return Failure(SCARD_E_INVALID_HANDLE);
  // Shorter than CLA INS P1 P2 (ISO/IEC 7816-4) a command means nothing to a card, and some
  // drivers wait for an answer to it that never comes (vpcd takes one byte for a control code).
  if (apdu.size() < kShortestCommand || apdu.size() > kLongestCommand) {
    return {PcscFault::kCommandRefused, 0,
            "A command APDU has 4 to " + std::to_string(kLongestCommand) + " bytes; this one has " +
                std::to_string(apdu.size())};
  }
  // Room for the longest answer PC/SC carries: too small a buffer loses an answer the card
  // has already acted on.
  if (receive_.size() < MAX_BUFFER_SIZE_EXTENDED) receive_.resize(MAX_BUFFER_SIZE_EXTENDED);
  DWORD length = static_cast<DWORD>(receive_.size());
  const SCARD_IO_REQUEST* header = protocol_ == CardProtocol::kT1 ? SCARD_PCI_T1 : SCARD_PCI_T0;
  const LONG result = SCardTransmit(handle_, header, apdu.data(), static_cast<DWORD>(apdu.size()),
                                    nullptr, receive_.data(), &length);
  if (result == SCARD_E_NOT_TRANSACTED) return NoAnswer(result);
  if (result != SCARD_S_SUCCESS) return Failure(result);
  if (length < 2) return NoAnswer(0);
  answer.assign(receive_.begin(), receive_.begin() + length);
  return PcscOk();
}

PcscError PcscConnection::CheckCard() {
  if (!connected_) return Failure(SCARD_E_INVALID_HANDLE);
  DWORD readerLength = 0, state = 0, protocol = 0;
  BYTE atr[MAX_ATR_SIZE];
  DWORD atrLength = sizeof atr;
  const LONG result =
      SCardStatus(handle_, nullptr, &readerLength, &state, &protocol, atr, &atrLength);
  if (result != SCARD_S_SUCCESS) return Failure(result);
  if ((state & SCARD_PRESENT) == 0) return Failure(SCARD_W_REMOVED_CARD);
  if ((state & SCARD_POWERED) == 0) return Failure(SCARD_W_UNPOWERED_CARD);
  return PcscOk();
}

void PcscConnection::Disconnect(PcscDisposition disposition) {
  if (!connected_) return;
  SCardDisconnect(handle_,
                  disposition == PcscDisposition::kUnpower ? SCARD_UNPOWER_CARD : SCARD_LEAVE_CARD);
  handle_ = 0;
  connected_ = false;
}

PcscError PcscConnection::ReadStatus() {
  DWORD readerLength = 0, state = 0, protocol = 0;
  BYTE atr[MAX_ATR_SIZE];
  DWORD atrLength = sizeof atr;
  const LONG result =
      SCardStatus(handle_, nullptr, &readerLength, &state, &protocol, atr, &atrLength);
  if (result != SCARD_S_SUCCESS) return Failure(result);
  atr_.assign(atr, atr + atrLength);
  protocol_ = FromProtocolBit(protocol);
  return PcscOk();
}

PcscError PcscConnection::Failure(long code) {
  if (connected_ && code == SCARD_E_NO_SERVICE) {
    // It was there a moment ago.
    PcscError stopped = DescribePcscCode(SCARD_E_SERVICE_STOPPED, reader_);
    stopped.code = code;
    return stopped;
  }
  return DescribePcscCode(code, reader_);
}

PcscError PcscConnection::NoAnswer(long code) {
  // Whether the card went, or only did not answer, shows in its reader's state.
  if (PcscError gone = CheckCard()) return gone;
  if (code != 0) return Failure(code);
  return {PcscFault::kCardRemoved, 0,
          "The card in the reader \"" + reader_ +
              "\" gave no answer: it was removed, or it does not answer"};
}

}  // namespace quorvel
