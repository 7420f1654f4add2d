// Decoder vectors, one table per kind of file. "pySim" rows come from the osmocom pySim
// project's test vectors (pySim/ts_51_011.py) and from the real cards' dumps in its
// tests/card_sanitizer folder (a UICC with ATR 3B 9F 96 80 1F 87 80 31 E0 73 FE 21 1B 67 4A
// 35 75 30 35 02 65 F8, and the sysmoSIM-GR1 SIM with ATR 3B 99 18 00 11 88 22 33 44 55 66
// 77 60).
#include <gtest/gtest.h>

#include "sim/alpha_text.h"
#include "sim/application_directory.h"
#include "sim/dialling_number.h"
#include "sim/emergency_codes.h"
#include "sim/iccid.h"
#include "sim/imsi.h"
#include "sim/location.h"
#include "sim/plmn.h"
#include "sim/service_table.h"
#include "sim/spn.h"
#include "sim_test_bytes.h"

namespace quorvel {
namespace {

using testing::Hex;
using Decoder = Decoded (*)(std::span<const std::uint8_t>);

struct Vector {
  const char* source;
  Decoder decode;
  const char* bytes;
  const char* json;
};

void ExpectVectors(std::span<const Vector> vectors) {
  for (const Vector& v : vectors) {
    EXPECT_EQ(DecodedJson(v.decode(Hex(v.bytes))), v.json) << v.source << ": " << v.bytes;
  }
}

Decoded Alpha(std::span<const std::uint8_t> bytes) {
  const AlphaText text = DecodeAlpha(bytes);
  return Decoded().Add("text", text.utf8).AppendNotes(text.notes);
}

TEST(IccidTest, DigitsAndTheLuhnCheckDigit) {
  const Vector vectors[] = {
      {"pySim EF_ICCID vector; GSM 11.11 10.1.1", DecodeIccid, "988812010000400310f0",
       R"x({"iccid": "8988211000000430010", "digits": 19, "check_digit": 0, )x"
       R"x("check_digit_right": true})x"},
      {"20 digits, no filler (TS 102 221 13.2)", DecodeIccid, "98 10 62 10 32 54 76 98 10 12",
       R"x({"iccid": "89012601234567890121", "digits": 20, "check_digit": 1, )x"
       R"x("check_digit_right": true})x"},
      {"pySim sysmoSIM-GR1 (sanitized): a failed Luhn digit is reported", DecodeIccid,
       "222233445566778899f0",
       R"x({"iccid": "2222334455667788990", "digits": 19, "check_digit": 0, )x"
       R"x("check_digit_right": false, "luhn_expects": 7})x"},
      {"a nibble that is no digit", DecodeIccid, "98 A4 F0",
       R"x({"iccid": "894?0", "digits": 5, "notes": ["no Luhn check over digits that are not all )x"
       R"x(0 to 9", "nibble A of byte 2 is no digit"]})x"},
      {"digits after the filler", DecodeIccid, "98 F4 21",
       R"x({"iccid": "894", "digits": 3, "check_digit": 4, "check_digit_right": false, )x"
       R"x("luhn_expects": 3, "notes": ["digits after the F filler ignored (byte 3: 21)"]})x"},
  };
  ExpectVectors(vectors);
}

TEST(ImsiTest, DigitsSplitByTheMncLengthOfEfAd) {
  const Vector vectors[] = {
      {"pySim real UICC EF.IMSI with its EF.AD 00000002 (TS 31.102 4.2.2)",
       [](auto b) { return DecodeImsi(b, MncLengthOf(Hex("00000002"))); }, "080910100000001020",
       R"x({"imsi": "001010000000102", "mcc": "001", "mnc": "01", "msin": "0000000102"})x"},
      {"three-digit MNC (EF.AD byte 4 = 03)", [](auto b) { return DecodeImsi(b, 3); },
       "08 39 01 14 10 32 54 76 98",
       R"x({"imsi": "310410123456789", "mcc": "310", "mnc": "410", "msin": "123456789"})x"},
      {"no MNC length known", [](auto b) { return DecodeImsi(b, std::nullopt); },
       "08 29 26 10 21 43 65 87 09",
       R"x({"imsi": "262011234567890", "mcc": "262", "mnc": "01", "msin": "1234567890", )x"
       R"x("notes": ["EF.AD gives no MNC length: 2 digits taken"]})x"},
      {"even count with the odd bit set, length beyond the bytes",
       [](auto b) { return DecodeImsi(b, 2); }, "09 29 26 10",
       R"x({"imsi": "26201", "mcc": "262", "mnc": "01", "msin": "", "notes": ["the length byte )x"
       R"x(says 9 bytes, 3 follow"]})x"},
      {"not an IMSI", [](auto b) { return DecodeImsi(b, 2); }, "03 2A 26 F0",
       R"x({"imsi": "2620", "notes": ["identity type 2, not IMSI (1)", )x"
       R"x("the odd/even bit disagrees with the 4 digits"]})x"},
      {"a length byte and nothing after it (found by fuzzing)",
       [](auto b) { return DecodeImsi(b, 2); }, "0A",
       R"x({"imsi": "", "notes": ["the length byte says 10 bytes, 0 follow"]})x"},
      {"unset", [](auto b) { return DecodeImsi(b, 2); }, "FF FF FF FF FF FF FF FF FF",
       R"x({"imsi": "", "notes": ["no IMSI: the length byte is FF"]})x"},
  };
  ExpectVectors(vectors);
}

TEST(AdministrativeDataTest, ModeCipheringAndMncLength) {
  const Vector vectors[] = {
      {"pySim real UICC EF.AD (TS 31.102 4.2.18)", DecodeAdministrativeData, "00000002",
       R"x({"operation_mode": "normal", "ciphering_indicator": false, "mnc_length": 2})x"},
      {"type approval, ciphering indicator on, MNC 3", DecodeAdministrativeData, "80 00 01 03",
       R"x({"operation_mode": "type approval", "ciphering_indicator": true, "mnc_length": 3})x"},
      {"phase 2 EF.AD of 3 bytes (GSM 11.11 10.3.18)", DecodeAdministrativeData, "00 00 00",
       R"x({"operation_mode": "normal", "ciphering_indicator": false, "notes": ["no MNC length )x"
       R"x((3 bytes)"]})x"},
  };
  ExpectVectors(vectors);
  EXPECT_EQ(MncLengthOf(Hex("00 00 00 04")), std::nullopt);
}

TEST(PlmnTest, TripletsAndSelectorLists) {
  const Vector vectors[] = {
      {"pySim real UICC EF.PLMNsel: 001-01, then empty (GSM 11.11 10.3.4)", DecodePlmnSelector,
       "00f110ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff"
       "ffffffffffffffffffffffffffffffffffff",
       R"x({"plmns": ["001-01"], "empty_entries": 19})x"},
      {"two- and three-digit MNCs (TS 24.008 10.5.1.3)", DecodePlmnSelector,
       "62 F2 10 13 00 14 FF FF FF 32 F2",
       R"x({"plmns": ["262-01", "310-410"], "empty_entries": 1, "notes": ["2 bytes after the )x"
       R"x(last whole entry"]})x"},
  };
  ExpectVectors(vectors);
}

TEST(AlphaTextTest, DefaultAlphabetAndTheThreeUcs2Codings) {
  const Vector vectors[] = {
      {"pySim real UICC EF.SPN name (TS 23.038 6.2.1)", Alpha, "4d61676963ffff",
       R"x({"text": "Magic"})x"},
      {"the default alphabet's own letters and the escape table (TS 23.038 6.2.1.1)", Alpha,
       "43 61 66 05 20 1B 28 1B 29 1B 65 11 00 FF 41", R"x({"text": "Café {}€_@"})x"},
      {"a byte with bit 8 set", Alpha, "41 C1 42",
       R"x({"text": "A�B", "notes": ["byte C1 is outside the default alphabet"]})x"},
      {"UCS2 80 (TS 102 221 Annex A)", Alpha, "80 67 4E 96 F7 FF FF", R"x({"text": "李雷"})x"},
      {"UCS2 81, base 0380", Alpha, "81 05 07 95 BB AD BD B7 FF", R"x({"text": "Ελένη"})x"},
      {"UCS2 82, base 0530, with default-alphabet characters", Alpha, "82 05 05 30 2D 82 D3 2D 31",
       R"x({"text": "-Բփ-1"})x"},
      {"UCS2 82 with a surrogate base is refused", Alpha, "82 02 D8 00 81 41",
       R"x({"text": "�A", "notes": ["base D800 points among the surrogates: its )x"
       R"x(characters are refused"]})x"},
      {"UCS2 80 with a surrogate is refused", Alpha, "80 D8 3D 00 41",
       R"x({"text": "�A", "notes": ["UCS2 D83D is a surrogate, not a character: refused"]})x"},
      {"UCS2 81 counting more characters than there are", Alpha, "81 05 07 95",
       R"x({"text": "Ε", "notes": ["5 characters announced, 1 bytes hold them"]})x"},
  };
  ExpectVectors(vectors);
}

TEST(ServiceProviderNameTest, NameAndDisplayBits) {
  const Vector vectors[] = {
      {"pySim real UICC EF.SPN (TS 31.102 4.2.12)", DecodeServiceProviderName,
       "034d61676963ffffffffffffffffffffff",
       R"x({"name": "Magic", "plmn_name_required": true, "name_required_when_roaming": false})x"},
      {"display bits clear", DecodeServiceProviderName, "00 51 FF",
       R"x({"name": "Q", "plmn_name_required": false, "name_required_when_roaming": true})x"},
  };
  ExpectVectors(vectors);
}

TEST(DiallingNumberTest, AlphaTonNpiAndExtendedBcd) {
  const Vector vectors[] = {
      {"pySim EF_ADN vector (TS 51.011 10.5.1)", DecodeDiallingNumber,
       "42204841203120536963FFFFFFFFFFFF06810628560810FFFFFFFFFFFFFF",
       R"x({"alpha": "B HA 1 Sic", "number": "6082658001", "ton": "unknown", "npi": )x"
       R"x("ISDN/telephony (E.164/E.163)"})x"},
      {"pySim EF_ADN vector, international", DecodeDiallingNumber,
       "4B756E64656E626574726575756E67FF0791947112122721ffffffffffff",
       R"x({"alpha": "Kundenbetreuung", "number": "+491721217212", "ton": "international", )x"
       R"x("npi": "ISDN/telephony (E.164/E.163)"})x"},
      {"pySim EF_MSISDN vector, no alpha", DecodeDiallingNumber,
       "ffffffffffffffffffffffffffffffffffffffff04b12143f5ffffffffffffffffff",
       R"x({"alpha": "", "number": "12345", "ton": "network specific", "npi": )x"
       R"x("ISDN/telephony (E.164/E.163)"})x"},
      {"* # and a pause, national, an extension record", DecodeDiallingNumber,
       "4F FF 05 A1 1A 00 CB F1 FF FF FF FF FF FF FF 02",
       R"x({"alpha": "O", "number": "*100#p1", "ton": "national", "npi": )x"
       R"x("ISDN/telephony (E.164/E.163)", "extension_record": 2, "notes": ["the number goes on )x"
       R"x(in extension record 2"]})x"},
      {"UCS2 alpha", DecodeDiallingNumber,
       "80 67 4E 96 F7 FF 07 91 68 01 21 43 65 87 FF FF FF FF FF FF",
       R"x({"alpha": "李雷", "number": "+861012345678", "ton": "international", "npi": )x"
       R"x("ISDN/telephony (E.164/E.163)"})x"},
      {"empty record, all FF", DecodeDiallingNumber,
       "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF", R"x({"empty": true})x"},
      {"a length byte beyond the ten digit bytes", DecodeDiallingNumber,
       "FF 0E 81 21 43 65 87 09 21 43 65 87 09 FF FF",
       R"x({"alpha": "", "number": "12345678901234567890", "ton": "unknown", "npi": )x"
       R"x("ISDN/telephony (E.164/E.163)", "notes": ["number length 14 is more than the record )x"
       R"x(holds"]})x"},
      {"a record shorter than 14 bytes", DecodeDiallingNumber, "41 42 43",
       R"x({"notes": ["a record of 3 bytes, 14 at least expected"]})x"},
  };
  ExpectVectors(vectors);
}

TEST(ShortMessageRecordTest, StatusAndServiceCentre) {
  const Vector vectors[] = {
      {"a free record (GSM 11.11 10.5.3)", DecodeShortMessageRecord, "00 FF FF FF",
       R"x({"empty": true})x"},
      {"received and read, with its service centre", DecodeShortMessageRecord,
       "01 07 91 94 03 32 21 95 99 04 0C 91 FF FF",
       R"x({"status": "received, read", "service_centre": {"number": "+493023125999", "ton": )x"
       R"x("international", "npi": "ISDN/telephony (E.164/E.163)"}, "tpdu": "04 0C 91"})x"},
  };
  ExpectVectors(vectors);
}

TEST(ServiceTableTest, ServicesByNumberAndName) {
  const Vector vectors[] = {
      {"SST, two bits a service (GSM 11.11 10.3.7)", DecodeSimServiceTable, "DF 31 08",
       R"x({"services": {"1": "CHV1 disable function", "2": "Abbreviated Dialling Numbers )x"
       R"x((ADN)", "4": "Short Message Storage (SMS)", "7": "PLMN selector"}, )x"
       R"x("allocated_not_activated": {"3": "Fixed Dialling Numbers (FDN)", "5": "Advice of )x"
       R"x(Charge (AoC)"}, "notes": ["service 10 activated, not allocated"]})x"},
      {"UST, one bit a service (TS 31.102 4.2.8)", DecodeUsimServiceTable,
       "02 00 00 00 00 00 00 00 00 00 00 80",
       R"x({"services": {"2": "Fixed Dialling Numbers (FDN)", "96": "Non-Access Stratum )x"
       R"x(configuration by USIM"}})x"},
      {"UST beyond the named services", DecodeUsimServiceTable,
       "00 00 00 00 00 00 00 00 00 00 00 00 01", R"x({"services": {"97": "service 97"}})x"},
      {"EST (TS 31.102 4.2.47)", DecodeEnabledServiceTable, "05",
       R"x({"enabled": {"1": "Fixed Dialling Numbers (FDN)", "3": "APN Control List (ACL)"}})x"},
  };
  ExpectVectors(vectors);
}

TEST(EmergencyCodeTest, SimCodesAndUsimRecords) {
  const Vector vectors[] = {
      {"SIM EF.ECC (GSM 11.11 10.3.27)", DecodeSimEmergencyCodes, "11 F2 FF FF FF FF 19 F1 FF",
       R"x({"codes": ["112", "911"]})x"},
      {"USIM EF.ECC record (TS 31.102 4.2.21)", DecodeUsimEmergencyCode,
       "39 F3 FF 50 6F 6C 69 63 65 FF 01",
       R"x({"code": "933", "alpha": "Police", "categories": ["police"]})x"},
      {"eCall categories (TS 24.008 10.5.4.33)", DecodeUsimEmergencyCode, "11 F2 FF FF 60",
       R"x({"code": "112", "alpha": "", "categories": ["manually initiated eCall", )x"
       R"x("automatically initiated eCall"]})x"},
      {"an empty USIM record", DecodeUsimEmergencyCode, "FF FF FF 41 00", R"x({"empty": true})x"},
  };
  ExpectVectors(vectors);
}

TEST(ApplicationDirectoryTest, AidAndLabel) {
  const Vector vectors[] = {
      {"USIM template (TS 102 221 13.1)", [](auto b) { return ReadDirRecord(b).decoded; },
       "61 18 4F 10 A0 00 00 00 87 10 02 FF 33 FF 01 89 00 00 01 00 50 04 55 53 49 4D FF FF",
       R"x({"aid": "A0000000871002FF33FF018900000100", "application": "USIM", "label": "USIM"})x"},
      {"an empty record", [](auto b) { return ReadDirRecord(b).decoded; }, "FF FF FF",
       R"x({"empty": true})x"},
      {"a template cut short", [](auto b) { return ReadDirRecord(b).decoded; },
       "61 0C 4F 07 A0 00 00 00 87 10 04 50 09 41",
       R"x({"aid": "A0000000871004", "application": "ISIM", "notes": ["the template ends )x"
       R"x(inside a data object"]})x"},
      {"no template", [](auto b) { return ReadDirRecord(b).decoded; }, "4F 01 A0",
       R"x({"notes": ["no application template (61) at the start of the record"]})x"},
  };
  ExpectVectors(vectors);
}

TEST(LocationTest, LociPslociAndKc) {
  const Vector vectors[] = {
      {"pySim real UICC EF.LOCI (TS 31.102 4.2.17)", DecodeLocationInformation,
       "ffffffffffffff0000ff01",
       R"x({"tmsi": "none", "lai": {"plmn": "none", "lac": "0000"}, "update_status": "not )x"
       R"x(updated"})x"},
      {"EF.LOCI with TMSI and TMSI time (GSM 11.11 10.3.17)", DecodeLocationInformation,
       "1A 2B 3C 4D 62 F2 10 1F 40 05 03",
       R"x({"tmsi": "1A2B3C4D", "lai": {"plmn": "262-01", "lac": "1F40"}, "tmsi_time": 5, )x"
       R"x("update_status": "location area not allowed"})x"},
      {"EF.PSLOCI (TS 31.102 4.2.23)", DecodePacketLocationInformation,
       "D4 E1 F0 02 3A 5B 7C 13 00 14 2A 5C 07 02",
       R"x({"p_tmsi": "D4E1F002", "p_tmsi_signature": "3A5B7C", "rai": {"plmn": "310-410", )x"
       R"x("lac": "2A5C", "rac": "07"}, "update_status": "PLMN not allowed"})x"},
      {"pySim real UICC EF.Kc: no key (GSM 11.11 10.3.6)", DecodeCipheringKey, "ffffffffffffffff07",
       R"x({"kc": "FFFFFFFFFFFFFFFF", "cksn": 7, "key_available": false})x"},
      {"a short EF.LOCI", DecodeLocationInformation, "1A 2B",
       R"x({"notes": ["2 bytes, 11 needed"]})x"},
  };
  ExpectVectors(vectors);
}

}  // namespace
}  // namespace quorvel
