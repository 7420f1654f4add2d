#include "iso7816/instructions.h"

#include <array>
#include <string_view>

#include "iso7816/command_class.h"
#include "iso7816/text_append.h"

namespace quorvel {
namespace {

struct NamedInstruction {
  std::uint8_t ins;
  const char* name;
};

using NameTable = std::array<const char*, 256>;

template <std::size_t N>
constexpr NameTable MakeTable(const NamedInstruction (&names)[N]) {
  NameTable table{};
  for (const NamedInstruction& named : names) table[named.ins] = named.name;
  return table;
}

// ISO/IEC 7816-4 with the instructions parts 7 (SCQL), 8 (security operations) and 9 (file
// management) add. Odd INS values are the BER-TLV forms of the same commands.
constexpr NamedInstruction kIsoNames[] = {
    {0x04, "DEACTIVATE FILE"},
    {0x06, "DEACTIVATE RECORD"},
    {0x08, "ACTIVATE RECORD"},
    {0x0C, "ERASE RECORD"},
    {0x0E, "ERASE BINARY"},
    {0x0F, "ERASE BINARY"},
    {0x10, "PERFORM SCQL OPERATION"},
    {0x12, "PERFORM TRANSACTION OPERATION"},
    {0x14, "PERFORM USER OPERATION"},
    {0x20, "VERIFY"},
    {0x21, "VERIFY"},
    {0x22, "MANAGE SECURITY ENVIRONMENT"},
    {0x24, "CHANGE REFERENCE DATA"},
    {0x25, "CHANGE REFERENCE DATA"},
    {0x26, "DISABLE VERIFICATION REQUIREMENT"},
    {0x28, "ENABLE VERIFICATION REQUIREMENT"},
    {0x2A, "PERFORM SECURITY OPERATION"},
    {0x2C, "RESET RETRY COUNTER"},
    {0x2D, "RESET RETRY COUNTER"},
    {0x44, "ACTIVATE FILE"},
    {0x46, "GENERATE ASYMMETRIC KEY PAIR"},
    {0x47, "GENERATE ASYMMETRIC KEY PAIR"},
    {0x70, "MANAGE CHANNEL"},
    {0x82, "EXTERNAL AUTHENTICATE"},
    {0x84, "GET CHALLENGE"},
    {0x86, "GENERAL AUTHENTICATE"},
    {0x87, "GENERAL AUTHENTICATE"},
    {0x88, "INTERNAL AUTHENTICATE"},
    {0xA0, "SEARCH BINARY"},
    {0xA1, "SEARCH BINARY"},
    {0xA2, "SEARCH RECORD"},
    {0xA4, "SELECT FILE"},
    {0xB0, "READ BINARY"},
    {0xB1, "READ BINARY"},
    {0xB2, "READ RECORD"},
    {0xB3, "READ RECORD"},
    {0xC0, "GET RESPONSE"},
    {0xC2, "ENVELOPE"},
    {0xC3, "ENVELOPE"},
    {0xCA, "GET DATA"},
    {0xCB, "GET DATA"},
    {0xD0, "WRITE BINARY"},
    {0xD1, "WRITE BINARY"},
    {0xD2, "WRITE RECORD"},
    {0xD6, "UPDATE BINARY"},
    {0xD7, "UPDATE BINARY"},
    {0xDA, "PUT DATA"},
    {0xDB, "PUT DATA"},
    {0xDC, "UPDATE RECORD"},
    {0xDD, "UPDATE RECORD"},
    {0xE0, "CREATE FILE"},
    {0xE2, "APPEND RECORD"},
    {0xE4, "DELETE FILE"},
    {0xE6, "TERMINATE DF"},
    {0xE8, "TERMINATE EF"},
    {0xFE, "TERMINATE CARD USAGE"},
};

// GSM 11.11 (class A0), with the SIM Application Toolkit commands of GSM 11.14.
constexpr NamedInstruction kGsmNames[] = {
    {0x04, "INVALIDATE"},    {0x10, "TERMINAL PROFILE"},
    {0x12, "FETCH"},         {0x14, "TERMINAL RESPONSE"},
    {0x20, "VERIFY CHV"},    {0x24, "CHANGE CHV"},
    {0x26, "DISABLE CHV"},   {0x28, "ENABLE CHV"},
    {0x2C, "UNBLOCK CHV"},   {0x32, "INCREASE"},
    {0x44, "REHABILITATE"},  {0x88, "RUN GSM ALGORITHM"},
    {0xA2, "SEEK"},          {0xA4, "SELECT FILE"},
    {0xB0, "READ BINARY"},   {0xB2, "READ RECORD"},
    {0xC0, "GET RESPONSE"},  {0xC2, "ENVELOPE"},
    {0xD6, "UPDATE BINARY"}, {0xDC, "UPDATE RECORD"},
    {0xF2, "STATUS"},        {0xFA, "SLEEP"},
};

// ETSI TS 102 221's names under the interindustry classes 0X, 4X and 6X, for the UICC's
// commands ISO/IEC 7816-4 leaves unnamed or names otherwise.
constexpr NamedInstruction kUiccInterindustryNames[] = {
    {0x73, "MANAGE SECURE CHANNEL"},
    {0x75, "TRANSACT DATA"},
    {0x88, "AUTHENTICATE"},
    {0x89, "AUTHENTICATE"},
};

// ETSI TS 102 221's names under the UICC's proprietary classes 8X, CX and EX.
constexpr NamedInstruction kUiccProprietaryNames[] = {
    {0x32, "INCREASE"},      {0x78, "GET IDENTITY"}, {0xAA, "TERMINAL CAPABILITY"},
    {0xCB, "RETRIEVE DATA"}, {0xDB, "SET DATA"},     {0xF2, "STATUS"},
};

// ETSI TS 102 221's names under class 80 alone: the card-toolkit commands, SUSPEND UICC and
// EXCHANGE CAPABILITIES.
constexpr NamedInstruction kUiccClass80Names[] = {
    {0x10, "TERMINAL PROFILE"},      {0x12, "FETCH"},
    {0x14, "TERMINAL RESPONSE"},     {0x76, "SUSPEND UICC"},
    {0x7A, "EXCHANGE CAPABILITIES"}, {0xC2, "ENVELOPE"},
};

// GlobalPlatform's card-management commands under its classes 80 and 84, with those of its
// secure channel protocols.
constexpr NamedInstruction kGlobalPlatformNames[] = {
    {0x50, "INITIALIZE UPDATE"},
    {0x78, "END R-MAC SESSION"},
    {0x7A, "BEGIN R-MAC SESSION"},
    {0x82, "EXTERNAL AUTHENTICATE"},
    {0xCA, "GET DATA"},
    {0xCB, "GET DATA"},
    {0xD8, "PUT KEY"},
    {0xE2, "STORE DATA"},
    {0xE4, "DELETE"},
    {0xE6, "INSTALL"},
    {0xE8, "LOAD"},
    {0xF0, "SET STATUS"},
    {0xF2, "GET STATUS"},
};

constexpr NameTable kIso = MakeTable(kIsoNames);
constexpr NameTable kGsm = MakeTable(kGsmNames);
constexpr NameTable kUiccInterindustry = MakeTable(kUiccInterindustryNames);
constexpr NameTable kUiccProprietary = MakeTable(kUiccProprietaryNames);
constexpr NameTable kUiccClass80 = MakeTable(kUiccClass80Names);
constexpr NameTable kGlobalPlatform = MakeTable(kGlobalPlatformNames);

// The UICC's name of INS under class CLA; nullptr when it has none there.
const char* UiccName(std::uint8_t cla, std::uint8_t ins) {
  if (IsUiccInterindustryClass(cla)) return kUiccInterindustry[ins];
  if (!IsUiccProprietaryClass(cla)) return nullptr;
  if (cla == 0x80 && kUiccClass80[ins] != nullptr) return kUiccClass80[ins];
  return kUiccProprietary[ins];
}

// "STATUS (UICC) or GET STATUS (GlobalPlatform)", for an instruction two standards name
// differently under the same class.
std::string EitherName(const char* first, const char* firstStandard, const char* second,
                       const char* secondStandard) {
  std::string name = first;
  name += " (";
  name += firstStandard;
  name += ") or ";
  name += second;
  name += " (";
  name += secondStandard;
  name += ')';
  return name;
}

bool Differ(const char* one, const char* other) {
  return one != nullptr && other != nullptr && std::string_view(one) != other;
}

}  // namespace

std::string InstructionName(std::uint8_t cla, std::uint8_t ins) {
  if (cla != 0xFF) {  // FF is reserved for PPS, never a command class
    if (cla == kGsmClass && kGsm[ins] != nullptr) return kGsm[ins];
    const char* uicc = UiccName(cla, ins);
    const char* globalPlatform = IsGlobalPlatformClass(cla) ? kGlobalPlatform[ins] : nullptr;
    if (Differ(uicc, globalPlatform))
      return EitherName(uicc, "UICC", globalPlatform, "GlobalPlatform");
    if (IsUiccInterindustryClass(cla) && Differ(kIso[ins], uicc))
      return EitherName(kIso[ins], "ISO/IEC 7816-4", uicc, "UICC");
    for (const char* name : {uicc, globalPlatform, kIso[ins]})
      if (name != nullptr) return name;
  }
  std::string unknown = "instruction ";
  iso7816_text::AppendHex(unknown, ins);
  return unknown;
}

}  // namespace quorvel
