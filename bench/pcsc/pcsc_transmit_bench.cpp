// The floor for a command through a PC/SC reader: SCardTransmit alone, in a loop, against the
// virtual card in "Virtual PCD 00 00" through the tests' own pcscd (./bench.sh starts one), and
// the same loop through PcscConnection, which should cost nothing more. Each iteration is 200
// READ BINARY of the demo card's EF 6F03 (255 counting bytes under DF 7F10): 32 bytes, and 255,
// the longest its file gives.
#include <winscard.h>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "pcsc/card_connection.h"

namespace quorvel {
namespace {

constexpr const char* kReader = "Virtual PCD 00 00";
constexpr int kCommandsPerIteration = 200;

std::vector<std::uint8_t> ReadBinary(std::int64_t length) {
  return {0x00, 0xB0, 0x00, 0x00, static_cast<std::uint8_t>(length)};
}

const std::vector<std::vector<std::uint8_t>> kSelectEf6F03 = {
    {0x00, 0xA4, 0x00, 0x00, 0x02, 0x7F, 0x10}, {0x00, 0xA4, 0x00, 0x00, 0x02, 0x6F, 0x03}};

bool HasPrivateService(benchmark::State& state) {
  if (std::getenv("PCSCLITE_CSOCK_NAME") != nullptr) return true;
  state.SkipWithError("needs the tests' own pcscd and virtual card: run through ./bench.sh");
  return false;
}

void BM_PcscTransmitFloor(benchmark::State& state) {
  if (!HasPrivateService(state)) return;
  const bool t1 = state.range(1) == 1;
  SCARDCONTEXT context = 0;
  SCARDHANDLE card = 0;
  DWORD active = 0;
  if (SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context) != SCARD_S_SUCCESS ||
      SCardConnect(context, kReader, SCARD_SHARE_EXCLUSIVE,
                   t1 ? SCARD_PROTOCOL_T1 : SCARD_PROTOCOL_T0, &card, &active) != SCARD_S_SUCCESS ||
      SCardReconnect(card, SCARD_SHARE_EXCLUSIVE, t1 ? SCARD_PROTOCOL_T1 : SCARD_PROTOCOL_T0,
                     SCARD_UNPOWER_CARD, &active) != SCARD_S_SUCCESS) {
    state.SkipWithError("the virtual card cannot be reached");
    return;
  }
  const SCARD_IO_REQUEST* header = t1 ? SCARD_PCI_T1 : SCARD_PCI_T0;
  std::vector<BYTE> answer(MAX_BUFFER_SIZE_EXTENDED);
  DWORD length = 0;
  for (const auto& select : kSelectEf6F03) {
    length = static_cast<DWORD>(answer.size());
    SCardTransmit(card, header, select.data(), static_cast<DWORD>(select.size()), nullptr,
                  answer.data(), &length);
  }
  const std::vector<std::uint8_t> read = ReadBinary(state.range(0));
  for (auto _ : state) {
    for (int i = 0; i < kCommandsPerIteration; ++i) {
      length = static_cast<DWORD>(answer.size());
      if (SCardTransmit(card, header, read.data(), static_cast<DWORD>(read.size()), nullptr,
                        answer.data(), &length) != SCARD_S_SUCCESS ||
          length != static_cast<DWORD>(state.range(0) + 2)) {
        state.SkipWithError("READ BINARY failed");
        break;
      }
    }
  }
  SCardDisconnect(card, SCARD_UNPOWER_CARD);
  SCardReleaseContext(context);
  state.SetItemsProcessed(state.iterations() * kCommandsPerIteration);
}
BENCHMARK(BM_PcscTransmitFloor)
    ->ArgsProduct({{32, 255}, {0, 1}})
    ->ArgNames({"bytes", "t1"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_PcscConnectionTransmit(benchmark::State& state) {
  if (!HasPrivateService(state)) return;
  PcscContext context;
  PcscConnection connection;
  const CardProtocol protocol = state.range(1) == 1 ? CardProtocol::kT1 : CardProtocol::kT0;
  if (context.Establish() || connection.Connect(context, kReader) ||
      connection.ColdReset(protocol)) {
    state.SkipWithError("the virtual card cannot be reached");
    return;
  }
  std::vector<std::uint8_t> answer;
  for (const auto& select : kSelectEf6F03) connection.Transmit(select, answer);
  const std::vector<std::uint8_t> read = ReadBinary(state.range(0));
  for (auto _ : state) {
    for (int i = 0; i < kCommandsPerIteration; ++i) {
      if (connection.Transmit(read, answer) ||
          answer.size() != static_cast<std::size_t>(state.range(0) + 2)) {
        state.SkipWithError("READ BINARY failed");
        break;
      }
    }
  }
  state.SetItemsProcessed(state.iterations() * kCommandsPerIteration);
}
BENCHMARK(BM_PcscConnectionTransmit)
    ->ArgsProduct({{32, 255}, {0, 1}})
    ->ArgNames({"bytes", "t1"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace quorvel
