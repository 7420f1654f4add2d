#include "card/row_explanations.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "card/automatic_response.h"
#include "card/hex_rows.h"
#include "card/t0_procedure_roles.h"
#include "controls/field_text.h"
#include "iso7816/atr.h"
#include "iso7816/instructions.h"
#include "iso7816/pps.h"
#include "iso7816/status_words.h"
#include "iso7816/text_append.h"
#include "port/settings_string.h"

namespace quorvel {
namespace {

const char* const kCheckTheReader =
    "Is the reader connected and powered, the card inserted, the settings right (port name, "
    "baud rate, parity)?";

using iso7816_text::AppendHex;

void AppendHexBytes(std::string& text, std::span<const std::uint8_t> bytes) {
  iso7816_text::AppendHexBytes(text, bytes.data(), bytes.size());
}

void AppendNumber(std::string& text, std::size_t value) {
  iso7816_text::AppendDecimal(text, value);
}

// "byte 6" or "bytes 1-5", counted from 1.
void AppendByteRange(std::string& text, const char* singular, const char* plural, std::size_t first,
                     std::size_t end) {
  if (end - first == 1) {
    text += singular;
    AppendNumber(text, first + 1);
  } else {
    text += plural;
    AppendNumber(text, first + 1);
    text += '-';
    AppendNumber(text, end);
  }
}

// "2025-01-02 10:11:12.345", local time.
void AppendWallClock(std::string& text, std::chrono::system_clock::time_point when) {
  const auto since = when.time_since_epoch();
  const std::time_t seconds = std::chrono::duration_cast<std::chrono::seconds>(since).count();
  const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(since).count() % 1000;
  std::tm local{};
  localtime_r(&seconds, &local);
  char stamp[40];
  const std::size_t length = std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
  text.append(stamp, length);
  std::snprintf(stamp, sizeof stamp, ".%03d", static_cast<int>(millis));
  text += stamp;
}

// Milliseconds, with a tenth below 10 ms where the tenth still says something.
void AppendMilliseconds(std::string& text, std::chrono::nanoseconds took) {
  const double ms = std::chrono::duration<double, std::milli>(took).count();
  char number[32];
  std::snprintf(number, sizeof number, ms < 10.0 ? "%.1f ms" : "%.0f ms", ms);
  text += number;
}

void AppendWhen(std::string& text, const ExchangeRecord& record) {
  text += "Started ";
  AppendWallClock(text, record.started);
  text += ", took ";
  AppendMilliseconds(text, record.took);
  text += '.';
}

std::uint8_t Cla(const ExchangeRecord& record) {
  return record.header[0];
}
std::uint8_t Ins(const ExchangeRecord& record) {
  return record.header[1];
}
std::uint8_t P3(const ExchangeRecord& record) {
  return record.header[4];
}
bool ToCard(const ExchangeRecord& record) {
  return record.direction == kToCard;
}

// (command "select"), or by its header when it has no comment.
void AppendListCommand(std::string& text, const AutomaticCause& cause) {
  text += "(command ";
  if (cause.listComment.empty()) {
    AppendHexBytes(text, cause.listHeader);
  } else {
    text += '"';
    text += ShownText(cause.listComment);
    text += '"';
  }
  text += ')';
}

// Why Quorvel sent this command by itself, and whether it stopped answering there.
void AppendAutomaticCause(std::string& text, const AutomaticCause& cause) {
  text += "\n";
  if (cause.kind == AutomaticCause::Kind::kGetResponse) {
    text += "GET RESPONSE sent automatically after ";
  } else {
    text += "Sent again with P3=";
    AppendHex(text, cause.statusWord[1]);
    text += " after ";
  }
  AppendHexBytes(text, cause.statusWord);
  text += ' ';
  AppendListCommand(text, cause);
  text += '.';
  if (cause.lastAllowed) {
    text += "\nThe card asks for more, but this is the last of the ";
    AppendNumber(text, kMaxAutomaticCommands);
    text += " commands sent automatically after one command of the list: no more are sent.";
  }
}

// Command "read": 00 B0 00 00 10, READ BINARY, 16 bytes from the card.
void AppendCommand(std::string& text, const ExchangeRecord& record) {
  text += "Command ";
  if (!record.comment.empty()) {
    text += '"';
    text += ShownText(record.comment);
    text += "\": ";
  }
  AppendHexBytes(text, record.header);
  text += ", ";
  text += InstructionName(Cla(record), Ins(record));
  text += ", ";
  AppendNumber(text, P3(record));
  text += P3(record) == 1 ? " byte " : " bytes ";
  text += ToCard(record) ? "to the card." : "from the card.";
  if (record.automatic) AppendAutomaticCause(text, *record.automatic);
}

// A status word's bytes and meaning: "6A 82: file or application not found". `record` is the
// command it answers, if known.
void AppendStatusWord(std::string& text, const std::uint8_t statusWord[2], int arrived,
                      const ExchangeRecord* record) {
  for (int i = 0; i < 2; ++i) {
    if (i > 0) text += ' ';
    if (i < arrived) {
      AppendHex(text, statusWord[i]);
    } else {
      text += "--";
    }
  }
  text += ": ";
  if (record == nullptr) {
    text += ExplainStatusWord(statusWord[0], statusWord[1], arrived, 0x00);
  } else {
    text += ExplainStatusWord(statusWord[0], statusWord[1], arrived, Cla(*record), Ins(*record));
  }
}

// True for a byte that can start a status word (6x but 60, or 9x).
bool CouldBeSw1(std::uint8_t byte) {
  const std::uint8_t high = byte & 0xF0;
  return (high == 0x60 && byte != 0x60) || high == 0x90;
}

// What the bytes [first, end) of an Execute's reception are, one line.
void AppendBytesRole(std::string& text, const ExchangeRecord& record,
                     std::span<const std::uint8_t> reception, std::size_t first, std::size_t end) {
  if (end <= kHeaderBytes) {
    AppendByteRange(text, "Byte ", "Bytes ", first, end);
    text += ": the echo of the header";
    if (record.received < kHeaderBytes) {
      text += " (";
      AppendNumber(text, record.received);
      text += " of its 5 bytes came back)";
    } else if (!std::equal(reception.begin(), reception.begin() + kHeaderBytes, record.header)) {
      text += ", which differs from the header sent (";
      AppendHexBytes(text, record.header);
      text += "): the line changes bytes; check the settings";
    }
  } else if (first == kProcedureBytePosition) {
    text += "Byte 6: ";
    if (record.stop == ExchangeStop::kWrongProcedureByte) {
      text += "in place of the procedure byte INS ";
      AppendHex(text, Ins(record));
      text += " the card sent ";
      AppendHex(text, reception[kProcedureBytePosition]);
    } else {
      text += "the procedure byte ";
      AppendHex(text, reception[kProcedureBytePosition]);
      text += ", equal to INS: the data follow in one block";
    }
  } else if (record.stop == ExchangeStop::kWrongProcedureByte) {
    text += "Byte 7: the byte after it";
    if (CouldBeSw1(reception[kProcedureBytePosition])) text += " (SW2 of the card's status word)";
  } else {
    AppendByteRange(text, "Byte ", "Bytes ", first, end);
    text += ToCard(record) ? ": the echo of the data sent, " : ": data from the card, ";
    AppendByteRange(text, "byte ", "bytes ", first - kDataPosition, end - kDataPosition);
    text += " of ";
    AppendNumber(text, P3(record));
  }
}

// Positions where the role of a reception's bytes changes.
std::size_t RoleEnd(const ExchangeRecord& record, std::size_t at) {
  if (at < kHeaderBytes) return kHeaderBytes;
  if (at == kProcedureBytePosition) return kDataPosition;
  if (record.stop == ExchangeStop::kWrongProcedureByte) return at + 1;
  return static_cast<std::size_t>(-1);
}

// A PC/SC reader's answer: its data bytes, no echo and no procedure byte.
std::string ExplainAnswerRow(const RowToExplain& row, const ExchangeRecord& record,
                             std::size_t first, std::size_t end) {
  std::string text;
  AppendCommand(text, record);
  text += "\nThis row holds ";
  AppendByteRange(text, "byte ", "bytes ", first, end);
  text += " of the ";
  AppendNumber(text, row.reception.size());
  text +=
      " data bytes of the card's answer, its status word below them (a PC/SC reader passes "
      "on the answer alone: no echo, no procedure byte).\n";
  AppendWhen(text, record);
  return text;
}

// Which parts of a T=1 block (ISO/IEC 7816-3 11.3) the bytes [first, end) of one of its rows
// are: the prologue NAD PCB LEN, the information field, the epilogue. Nothing for bytes that
// announce no length to go by.
void AppendBlockParts(std::string& text, std::span<const std::uint8_t> block, std::size_t first,
                      std::size_t end) {
  constexpr std::size_t kPrologue = 3;
  if (block.size() < kPrologue || block[2] == 0xFF || end > block.size()) return;
  const std::size_t length = block[2];
  const std::size_t epilogue = kPrologue + length;
  if (first < kPrologue) {
    text += "\n";
    AppendByteRange(text, "Byte ", "Bytes ", first, std::min(end, kPrologue));
    text += ": the prologue, NAD ";
    AppendHex(text, block[0]);
    text += " PCB ";
    AppendHex(text, block[1]);
    text += " LEN ";
    AppendHex(text, block[2]);
    if (length == 0) {
      text += " (no information field)";
    } else {
      text += " (";
      AppendNumber(text, length);
      text += length == 1 ? " information byte)" : " information bytes)";
    }
  }
  if (block.size() <= epilogue) {
    // Cut short: which of the bytes after the prologue were lost cannot be told.
    if (end > kPrologue) {
      text += "\n";
      AppendByteRange(text, "Byte ", "Bytes ", std::max(first, kPrologue), end);
      text +=
          ": what came after the prologue; the block came short, so which of its bytes were "
          "lost cannot be told";
    }
    return;
  }
  const std::size_t infoFirst = std::max(first, kPrologue);
  const std::size_t infoEnd = std::min(end, epilogue);
  if (infoFirst < infoEnd) {
    text += "\n";
    AppendByteRange(text, "Byte ", "Bytes ", infoFirst, infoEnd);
    text += ": the information field, ";
    AppendByteRange(text, "byte ", "bytes ", infoFirst - kPrologue, infoEnd - kPrologue);
    text += " of ";
    AppendNumber(text, length);
  }
  if (end > epilogue) {
    const std::size_t edcLength = block.size() - epilogue;
    text += "\n";
    AppendByteRange(text, "Byte ", "Bytes ", std::max(first, epilogue), end);
    if (edcLength == 1) {
      text += ": the epilogue, the LRC";
    } else if (edcLength == 2) {
      text += ": the epilogue, the CRC";
    } else {
      text += ": more than the block's LEN announces";
    }
  }
}

// A T=1 exchange's row: part of a block received, or of the echo of a block sent.
std::string ExplainBlockRow(const RowToExplain& row, const ExchangeRecord& record,
                            std::size_t first, std::size_t end) {
  std::string text;
  AppendCommand(text, record);
  const auto block = std::find_if(record.blocks.begin(), record.blocks.end(),
                                  [&](const ExchangeBlock& b) { return b.piece == row.piece; });
  text += "\nThis row holds ";
  AppendByteRange(text, "byte ", "bytes ", first, end);
  text += " of the ";
  AppendNumber(text, row.reception.size());
  if (block == record.blocks.end()) {
    text += " received.";
  } else {
    text += block->sent ? "-byte echo of a block Quorvel sent: " : "-byte block from the card: ";
    text += block->meaning;
    text += '.';
    AppendBlockParts(text, row.reception, first, end);
  }
  text += "\n";
  AppendWhen(text, record);
  return text;
}

// Bytes the card sent before the header went out, taken off the line (the whole of T=0).
void AppendClearedBeforeHeader(std::string& text, const ExchangeRecord& record) {
  if (record.clearedBeforeHeader == 0) return;
  text += "\nBefore the header went out, ";
  AppendNumber(text, record.clearedBeforeHeader);
  text += record.clearedBeforeHeader == 1 ? " byte the card had sent unasked was"
                                          : " bytes the card had sent unasked were";
  text +=
      " cleared from the line: they belong to no command, and neither these rows nor the count "
      "hold them.";
}

// One run of a whole-T=0 reception: the echo, NULL bytes, a procedure byte, data.
void AppendT0Role(std::string& text, const ExchangeRecord& record, const T0RoleRun& run,
                  std::span<const std::uint8_t> reception, std::size_t first, std::size_t end) {
  AppendByteRange(text, "Byte ", "Bytes ", first, end);
  const std::size_t count = run.end - run.first;
  switch (run.role) {
    case T0ByteRole::kHeaderEcho:
      text += ": the echo of the header";
      if (!std::equal(reception.begin() + static_cast<std::ptrdiff_t>(run.first),
                      reception.begin() + static_cast<std::ptrdiff_t>(run.end), record.header)) {
        text += ", which differs from the header sent: the line changes bytes; check the settings";
      }
      break;
    case T0ByteRole::kNull:
      text += count == 1 ? ": a NULL byte (60)" : ": NULL bytes (60)";
      text += ": the card asks for more time, and Quorvel waits for the next procedure byte";
      break;
    case T0ByteRole::kInsAll:
      text += ": the procedure byte ";
      AppendHex(text, Ins(record));
      text += ", equal to INS: ";
      if (run.dataLeft == 0) {
        text += "no data is left to move, the status word follows";
      } else {
        text += "all ";
        AppendNumber(text, run.dataLeft);
        text += ToCard(record) ? " data bytes left go to the card" : " data bytes left follow";
      }
      break;
    case T0ByteRole::kInsOne:
      text += ": the procedure byte ";
      AppendHex(text, static_cast<std::uint8_t>(~Ins(record)));
      text += ", the complement of INS: ";
      text += ToCard(record) ? "one data byte goes to the card" : "one data byte follows";
      break;
    case T0ByteRole::kData:
      text += ToCard(record) ? ": the echo of the data sent, " : ": data from the card, ";
      AppendByteRange(text, "byte ", "bytes ", run.dataFirst + (first - run.first),
                      run.dataFirst + (end - run.first));
      text += " of ";
      AppendNumber(text, run.dataTotal);
      break;
    case T0ByteRole::kUnexpected:
      text += ": ";
      AppendHex(text, reception[run.first]);
      text +=
          " in place of a procedure byte: neither NULL, INS, its complement nor a status byte; "
          "check the settings (baud rate, parity) and Inv";
      break;
    case T0ByteRole::kAfterTheEnd:
      text += ": bytes after the exchange had ended";
      break;
  }
}

// A row of the whole of T=0: which bytes are echo, NULL, procedure bytes and data.
std::string ExplainProcedureRow(const RowToExplain& row, const ExchangeRecord& record,
                                std::size_t first, std::size_t end) {
  std::string text;
  AppendCommand(text, record);
  text += "\nThis row holds ";
  AppendByteRange(text, "byte ", "bytes ", first, end);
  text += " of the ";
  AppendNumber(text, row.reception.size());
  text += " received, every T=0 procedure byte followed:";
  std::size_t moved = 0;
  const std::size_t total = ToCard(record) || P3(record) != 0 ? P3(record) : 256;
  for (const T0RoleRun& run : ReadT0Roles(record.header, ToCard(record), row.reception)) {
    if (run.role == T0ByteRole::kData) moved += run.end - run.first;
    const std::size_t from = std::max(first, run.first);
    const std::size_t to = std::min(end, run.end);
    if (from >= to) continue;
    text += "\n";
    AppendT0Role(text, record, run, row.reception, from, to);
  }
  if (end == row.reception.size() && record.stop == ExchangeStop::kComplete && moved < total) {
    text += "\nThe card sent its status word (the row below) in place of a procedure byte after ";
    AppendNumber(text, moved);
    text += " of the ";
    AppendNumber(text, total);
    text += " data bytes: the command ended there, as the card answered.";
  }
  if (row.position == 0) AppendClearedBeforeHeader(text, record);
  text += "\n";
  AppendWhen(text, record);
  return text;
}

std::string ExplainCommandRow(const RowToExplain& row, const ExchangeRecord& record) {
  const std::size_t first = static_cast<std::size_t>(row.position) * kBytesPerHexRow;
  const std::size_t count = ReadHexRow(row.text).size();
  const std::size_t end = std::min(first + count, row.reception.size());
  if (record.framing == ExchangeFraming::kApdu) return ExplainAnswerRow(row, record, first, end);
  if (record.framing == ExchangeFraming::kT1Blocks) return ExplainBlockRow(row, record, first, end);
  if (record.framing == ExchangeFraming::kT0Procedures) {
    return ExplainProcedureRow(row, record, first, end);
  }
  std::string text;
  AppendCommand(text, record);
  text += "\nThis row holds ";
  AppendByteRange(text, "byte ", "bytes ", first, end);
  text += " of the ";
  AppendNumber(text, row.reception.size());
  text += " received:";
  for (std::size_t at = first; at < end;) {
    const std::size_t stop = std::min(end, RoleEnd(record, at));
    text += "\n";
    AppendBytesRole(text, record, row.reception, at, stop);
    at = stop;
  }
  const std::size_t data =
      row.reception.size() > kDataPosition ? row.reception.size() - kDataPosition : 0;
  if (record.stop == ExchangeStop::kComplete && !ToCard(record) && data < P3(record)) {
    text += "\nOnly ";
    AppendNumber(text, data);
    text += " of the ";
    AppendNumber(text, P3(record));
    text +=
        " data bytes asked for arrived; a card that sends fewer data bytes than P3 has its "
        "status word among them.";
  }
  text += "\n";
  AppendWhen(text, record);
  return text;
}

std::string ExplainStatusRow(const RowToExplain& row, const ExchangeRecord* record) {
  std::uint8_t statusWord[2] = {0, 0};
  const int arrived = ReadStatusRow(row.text, statusWord);
  std::string text = "Status ";
  AppendStatusWord(text, statusWord, arrived, record);
  if (record != nullptr) {
    if (record->expectation) {
      text += "\nThe command ";
      text += *record->expectation;
      text += '.';
    }
    if (record->framing == ExchangeFraming::kT1Blocks) {
      text +=
          "\nIn T=1 the status word is the last two bytes of the answer, put together from "
          "the card's blocks above.";
    }
    text += "\n";
    AppendCommand(text, *record);
  }
  return text;
}

// Why an exchange of the whole of T=0 stopped before its status word.
std::string ExplainProcedureFailure(const RowToExplain& row, const ExchangeRecord& record) {
  std::string text = "The exchange stopped before the status bytes. ";
  const auto& received = row.reception;
  const std::vector<T0RoleRun> runs = ReadT0Roles(record.header, ToCard(record), received);
  std::size_t data = 0;
  for (const T0RoleRun& run : runs) {
    if (run.role == T0ByteRole::kData) data += run.end - run.first;
  }
  switch (record.stop) {
    case ExchangeStop::kNoEcho:
      text += received.empty() ? std::string("Nothing came back, not even the echo of the header. ")
                               : "Only " + std::to_string(received.size()) +
                                     " of the 5 echo bytes of the header came back. ";
      text += kCheckTheReader;
      break;
    case ExchangeStop::kNoProcedureByte:
      text += record.failure;
      text +=
          " Was the card reset (click Reset), and do the Execute settings match its speed? An "
          "inverse-convention card needs Inv and odd parity (parity=o).";
      break;
    case ExchangeStop::kWrongProcedureByte: {
      const auto wrong = std::find_if(runs.begin(), runs.end(), [](const T0RoleRun& run) {
        return run.role == T0ByteRole::kUnexpected;
      });
      if (wrong == runs.end()) break;
      text += "In place of a procedure byte the card sent ";
      AppendHex(text, received[wrong->first]);
      text +=
          ", which is neither NULL (60), INS, its complement nor a status byte: check the "
          "settings (baud rate, parity) and Inv.";
      break;
    }
    case ExchangeStop::kShortDataEcho:
      text += "Of the data bytes sent to the card only ";
      AppendNumber(text, data);
      text +=
          " came back as their echo: the card or the line swallowed some. Check the settings "
          "and the reader's wiring.";
      break;
    case ExchangeStop::kTransmitFailed:
      text += record.failure;
      break;
    case ExchangeStop::kComplete:
      break;
  }
  AppendClearedBeforeHeader(text, record);
  text += "\n";
  AppendCommand(text, record);
  text += "\n";
  AppendWhen(text, record);
  return text;
}

std::string ExplainFailure(const RowToExplain& row, const ExchangeRecord& record) {
  if (record.framing == ExchangeFraming::kT0Procedures) return ExplainProcedureFailure(row, record);
  std::string text = "The exchange stopped before the status bytes. ";
  const auto& received = row.reception;
  switch (record.stop) {
    case ExchangeStop::kNoEcho:
      if (received.empty()) {
        text += "Nothing came back, not even the echo of the header. ";
      } else {
        text += "Only ";
        AppendNumber(text, received.size());
        text += " of the 5 echo bytes of the header came back. ";
      }
      text += kCheckTheReader;
      break;
    case ExchangeStop::kNoProcedureByte:
      text +=
          "The header's echo came back, but no procedure byte from the card within 200 ms: "
          "the card did not answer. Was it reset (click Reset) and do the Execute settings "
          "match its speed? An inverse-convention card needs Inv and odd parity (parity=o).";
      break;
    case ExchangeStop::kWrongProcedureByte: {
      if (received.size() <= kProcedureBytePosition) break;
      const std::uint8_t sent = received[kProcedureBytePosition];
      text += "In place of the procedure byte INS ";
      AppendHex(text, Ins(record));
      text += " the card sent ";
      AppendHex(text, sent);
      if (sent == 0x60) {
        text +=
            ", the null byte: the card asks for more time, and this program takes only INS as "
            "procedure byte.";
      } else if (sent == static_cast<std::uint8_t>(~Ins(record))) {
        text +=
            ", the complement of INS: the card asks for the data one byte at a time, which this "
            "program does not do.";
      } else if (CouldBeSw1(sent)) {
        text += ": the card refused the command with the status word ";
        const std::uint8_t statusWord[2] = {
            sent, received.size() > kDataPosition ? received[kDataPosition] : std::uint8_t{0}};
        AppendStatusWord(text, statusWord, received.size() > kDataPosition ? 2 : 1, &record);
        text += '.';
      } else {
        text +=
            ", neither a procedure byte nor a status byte: check the settings (baud rate, "
            "parity) and Inv.";
      }
      break;
    }
    case ExchangeStop::kShortDataEcho:
      text += "Of the ";
      AppendNumber(text, P3(record));
      text += " data bytes sent to the card only ";
      AppendNumber(text, received.size() > kDataPosition ? received.size() - kDataPosition : 0);
      text +=
          " came back as their echo: the card or the line swallowed some. Check the settings "
          "and the reader's wiring.";
      break;
    case ExchangeStop::kTransmitFailed:
      text += record.failure;
      break;
    case ExchangeStop::kComplete:
      break;
  }
  text += "\n";
  AppendCommand(text, record);
  text += "\n";
  AppendWhen(text, record);
  return text;
}

// Through a UART the inverse convention's even parity reads as odd: a settings string with
// even parity sees a parity error in every character (ISO/IEC 7816-3, character frame).
void AppendParityNote(std::string& text, const ResetSettingsUsed& used) {
  const auto even = [](const std::string& settings) {
    LineSettings line;
    line.parity = Parity::Odd;  // a string that names no parity is not told about
    return ParseSettingsString(settings, line) && line.parity == Parity::Even;
  };
  const bool reset = even(used.resetSettings);
  const bool execute = even(used.executeSettings);
  if (!reset && !execute) return;
  text += "\nNote: ";
  text += reset && execute ? "both settings strings ask"
          : reset          ? "the Reset settings ask"
                           : "the Execute settings ask";
  text +=
      " for even parity, but through a serial port an inverse-convention card's characters "
      "have odd parity: use parity=o with Inv.";
}

std::string ExplainResetMarker(const ExchangeRecord& record) {
  std::string text = "Reset. ";
  AppendWhen(text, record);
  if (record.reset && !record.reset->reader.empty()) {
    // No reset line, no line settings, no conversion: the reader note says what is ignored.
    text += "\nReset settings: ";
    text += ShownText(record.reset->resetSettings);
    text += " (a PC/SC reader resets the card itself: powered off and on again)";
    text += "\nExecute settings, naming the reader and the protocol: ";
    text += ShownText(record.reset->executeSettings);
  } else if (record.reset) {
    text += "\nReset settings, for the reset pulse: ";
    text += ShownText(record.reset->resetSettings);
    text += "\nExecute settings, naming the port and set again after the ATR: ";
    text += ShownText(record.reset->executeSettings);
    text += record.reset->inverse ? "\nInv is on: every byte is converted (inverse convention)."
                                  : "\nInv is off (direct convention).";
    if (record.reset->inverse) AppendParityNote(text, *record.reset);
  }
  if (record.reset) {
    if (!record.reset->resetAgainBecause.empty()) {
      text += "\nA second reset, without PPS: ";
      text += record.reset->resetAgainBecause;
    }
    if (!record.reset->reader.empty()) {
      text += "\nReader: ";
      text += ShownText(record.reset->reader);
    }
    if (!record.reset->readerNote.empty()) {
      text += "\n";
      text += record.reset->readerNote;
    }
    if (record.reset->protocol && !record.reset->speed) {  // the speed's note names it too
      text += "\nProtocol: ";
      text += ProtocolName(*record.reset->protocol);
    }
    if (record.reset->speed) {
      text += "\nProtocol and speed: ";
      text += record.reset->speed->note;
    }
    if (!record.reset->logTrouble.empty()) {
      text += "\n";
      text += ShownText(record.reset->logTrouble);
    }
  }
  text += "\n";
  if (record.received == 0) {
    text += "Nothing arrived within 250 ms of the reset pulse. ";
    text += kCheckTheReader;
  } else {
    text += "The card answered with ";
    AppendNumber(text, record.received);
    text += record.received == 1 ? " byte" : " bytes";
    text += ", its answer to reset (ATR), shown below.";
    if (record.received >= kMaxAtrBytes) text += " A Reset reads at most 64: more may have come.";
  }
  return text;
}

// The cards the system's ATR list knows by this ATR or by every byte received, if any.
void AppendCardNames(std::string& text, const AtrList& list, std::span<const std::uint8_t> received,
                     std::size_t atrLength) {
  const std::vector<AtrListMatch> cards = list.FindReceived(received, atrLength);
  if (cards.empty()) {
    if (list.Size() > 0) text += "\nThe system's ATR list knows no card with this ATR.";
    return;
  }
  text += "\nCards with this ATR in the system's ATR list:";
  for (const AtrListMatch& card : cards) {
    text += "\n";
    text += card.pattern;
    if (card.length > atrLength) {
      text += " (all ";
      AppendNumber(text, card.length);
      text += " bytes received, ";
      AppendNumber(text, card.length - atrLength);
      text += " more than the ATR announces)";
    }
    for (const std::string& line : card.description) {
      text += "\n  ";
      text += line;
    }
  }
}

std::string ExplainAtrRow(const RowToExplain& row) {
  const std::size_t first = static_cast<std::size_t>(row.position) * kBytesPerHexRow;
  const std::size_t end = std::min(first + ReadHexRow(row.text).size(), row.reception.size());
  std::string text = "Answer to reset (ATR); this row holds ";
  AppendByteRange(text, "byte ", "bytes ", first, end);
  text += " of the ";
  AppendNumber(text, row.reception.size());
  text += " received.\n";
  const std::uint32_t clockHz =
      row.exchange != nullptr && row.exchange->reset ? row.exchange->reset->clockHz : 0;
  const ProtocolChoice choice = row.exchange != nullptr && row.exchange->reset
                                    ? ReadProtocolChoice(row.exchange->reset->executeSettings)
                                          .value_or(ProtocolChoice::kByCard)
                                    : ProtocolChoice::kByCard;
  const AtrDescription atr = DecodeAtr(row.reception, clockHz, choice);
  text += RenderAtr(atr);
  if (!text.empty() && text.back() == '\n') text.pop_back();
  if (row.atrList != nullptr && atr.atrLength > 0) {
    AppendCardNames(text, *row.atrList, row.reception, atr.atrLength);
  }
  return text;
}

// The PPS row: each byte of the request's echo and of the card's response.
std::string ExplainPpsRow(const RowToExplain& row) {
  const ExchangeRecord* record = row.exchange;
  if (record == nullptr || !record->reset || !record->reset->speed) return "PPS bytes.";
  const SpeedUsed& speed = *record->reset->speed;
  PpsRequest request;
  std::copy(std::begin(speed.request), std::end(speed.request), request.begin());
  const std::vector<std::uint8_t> bytes = ReadHexRow(row.text);
  std::string text = "Protocol and parameters selection (PPS), right after the ATR.\n";
  const std::uint32_t clockHz =
      record->reset->clockHz != 0 ? record->reset->clockHz : kDefaultReaderClockHz;
  for (const AtrItem& item : ExplainPps(request, bytes, clockHz)) {
    text += item.text;
    text += '\n';
  }
  text += speed.note;
  return text;
}

std::string ExplainLogHint() {
  return "Browse chose a new log file name. The log file open now keeps receiving until the "
         "next Reset, which creates the new file: raw bytes with Bin on, text rows with Bin "
         "off.";
}

// A row of the blocks that set T=1 up after the ATR: the S(IFS) exchange announcing IFSD.
std::string ExplainSetupRow(const RowToExplain& row) {
  std::string text = "Setting T=1 up after the ATR";
  const ExchangeRecord* record = row.exchange;
  const ResetSettingsUsed* reset = record != nullptr ? record->reset.get() : nullptr;
  if (reset != nullptr && reset->speed && reset->speed->requestSent) text += " and the PPS";
  text += ": ";
  const ExchangeBlock* block = nullptr;
  if (reset != nullptr) {
    const auto found = std::find_if(reset->setupBlocks.begin(), reset->setupBlocks.end(),
                                    [&](const ExchangeBlock& b) { return b.piece == row.piece; });
    if (found != reset->setupBlocks.end()) block = &*found;
  }
  if (block == nullptr) {
    text += "bytes received.";
  } else {
    text += block->sent ? "the echo of a block Quorvel sent, " : "a block from the card, ";
    text += block->meaning;
    text += '.';
    const std::size_t first = static_cast<std::size_t>(row.position) * kBytesPerHexRow;
    AppendBlockParts(text, row.reception, first,
                     std::min(first + ReadHexRow(row.text).size(), row.reception.size()));
  }
  text +=
      "\nBefore the first command Quorvel offers IFSD 254 with S(IFS request): the card may "
      "then send blocks of up to 254 information bytes rather than 32, so a long answer takes "
      "fewer blocks (ISO/IEC 7816-3 11.4.2). S-blocks carry no sequence number: the first "
      "command's I-block goes with N(S)=0.";
  return text;
}

}  // namespace

std::string ExplainRow(const RowToExplain& row) {
  const ExchangeRecord* record = row.exchange;
  const bool reset = record != nullptr && record->kind == ExchangeKind::kReset;
  switch (row.kind) {
    case RowKind::kResetMarker:
      return record != nullptr ? ExplainResetMarker(*record) : "Reset.";
    case RowKind::kReceived:
      if (record == nullptr) {
        std::string text = "Bytes received: ";
        AppendHexBytes(text, row.reception);
        return text;
      }
      return reset ? ExplainAtrRow(row) : ExplainCommandRow(row, *record);
    case RowKind::kStatus:
      return ExplainStatusRow(row, record);
    case RowKind::kFailure:
      return record != nullptr ? ExplainFailure(row, *record)
                               : "The exchange stopped before the status bytes.";
    case RowKind::kLogHint:
      return ExplainLogHint();
    case RowKind::kPps:
      return ExplainPpsRow(row);
    case RowKind::kProtocolSetup:
      return ExplainSetupRow(row);
  }
  return std::string();
}

void AppendIndented(std::string& out, std::string_view text, std::string_view indent,
                    std::string_view lineEnd) {
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    out += indent;
    out += text.substr(0, end);
    out += lineEnd;
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
}

}  // namespace quorvel
