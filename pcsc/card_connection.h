#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "iso7816/protocol.h"
#include "pcsc/pcsc_context.h"
#include "pcsc/pcsc_error.h"

namespace quorvel {

// What becomes of the card when a connection ends.
enum class PcscDisposition { kLeavePowered, kUnpower };

// The protocol a reset asks for: the one chosen, or without a choice T=0 when the ATR offers it
// (as the serial line speaks) and T=1 otherwise.
CardProtocol ChooseProtocol(ProtocolChoice choice, std::span<const std::uint8_t> atr);

// The card in one PC/SC reader, held by this program alone from Connect until the object goes
// or Disconnect. Every call returns when pcscd has answered; pcscd and the reader's driver bound
// how long a card may take.
class PcscConnection {
 public:
  PcscConnection() = default;
  // Unpowers the card: nothing it was told (a PIN verified) outlives the connection.
  ~PcscConnection();
  PcscConnection(PcscConnection&& other) noexcept;
  PcscConnection& operator=(PcscConnection&& other) noexcept;
  PcscConnection(const PcscConnection&) = delete;
  PcscConnection& operator=(const PcscConnection&) = delete;

  // Takes the card in `reader` exclusively, in `only` or else whichever protocol pcscd picks
  // (ending a connection held before): kCardInUse when another program holds it, kNoCard for an
  // empty reader. A card already powered keeps its state. The context must outlive the
  // connection.
  PcscError Connect(const PcscContext& context, const std::string& reader,
                    std::optional<CardProtocol> only = std::nullopt);
  // A cold reset: the card is powered off and on again and spoken to in `protocol` from now on
  // (pcscd keeps a protocol until the card loses power, so this is how one is chosen). The
  // ATR is read anew.
  PcscError ColdReset(CardProtocol protocol);
  // The same with the protocol chosen by ChooseProtocol from the card's present ATR.
  PcscError ColdReset(ProtocolChoice choice);
  // Sends a command APDU and receives the whole response APDU: answer holds the response
  // data and SW1 SW2 (at least two bytes) on success. Up to 65536 data bytes fit. An answer
  // shorter than a status word is a failure (kCardRemoved): the card was removed, or did not
  // answer. An APDU shorter than 4 bytes or longer than an extended one is refused here
  // (kCommandRefused) without reaching the reader.
  PcscError Transmit(std::span<const std::uint8_t> apdu, std::vector<std::uint8_t>& answer);
  // Whether the card is still there and powered, as pcscd sees it now.
  PcscError CheckCard();
  // Ends the connection; nothing happens when there is none.
  void Disconnect(PcscDisposition disposition = PcscDisposition::kUnpower);

  bool connected() const { return connected_; }
  const std::string& reader() const { return reader_; }
  // The card's ATR as the reader reported it at Connect or the last ColdReset.
  const std::vector<std::uint8_t>& atr() const { return atr_; }
  // The protocol in use since Connect or the last ColdReset.
  CardProtocol protocol() const { return protocol_; }

 private:
  PcscError ReadStatus();
  PcscError Failure(long code);
  PcscError NoAnswer(long code);

  long handle_ = 0;
  bool connected_ = false;
  std::string reader_;
  std::vector<std::uint8_t> atr_;
  CardProtocol protocol_ = CardProtocol::kT0;
  std::vector<std::uint8_t> receive_;
};

}  // namespace quorvel
