#include "sim/file_content.h"

#include "sim/application_directory.h"
#include "sim/dialling_number.h"
#include "sim/emergency_codes.h"
#include "sim/iccid.h"
#include "sim/imsi.h"
#include "sim/location.h"
#include "sim/plmn.h"
#include "sim/service_table.h"
#include "sim/spn.h"

namespace quorvel {

Decoded DecodeFileBody(FileContent content, std::span<const std::uint8_t> body,
                       std::optional<int> mncLength) {
  switch (content) {
    case FileContent::kIccid:
      return DecodeIccid(body);
    case FileContent::kImsi:
      return DecodeImsi(body, mncLength);
    case FileContent::kCipheringKey:
      return DecodeCipheringKey(body);
    case FileContent::kPlmnSelector:
      return DecodePlmnSelector(body);
    case FileContent::kSimServiceTable:
      return DecodeSimServiceTable(body);
    case FileContent::kUsimServiceTable:
      return DecodeUsimServiceTable(body);
    case FileContent::kEnabledServiceTable:
      return DecodeEnabledServiceTable(body);
    case FileContent::kServiceProviderName:
      return DecodeServiceProviderName(body);
    case FileContent::kLocation:
      return DecodeLocationInformation(body);
    case FileContent::kPacketLocation:
      return DecodePacketLocationInformation(body);
    case FileContent::kAdministrativeData:
      return DecodeAdministrativeData(body);
    case FileContent::kSimEmergencyCodes:
      return DecodeSimEmergencyCodes(body);
    default:
      return Decoded().Note("a record file, read as one body: not decoded");
  }
}

Decoded DecodeFileRecord(FileContent content, std::span<const std::uint8_t> record) {
  switch (content) {
    case FileContent::kApplicationDirectory:
      return ReadDirRecord(record).decoded;
    case FileContent::kDiallingNumbers:
      return DecodeDiallingNumber(record);
    case FileContent::kShortMessages:
      return DecodeShortMessageRecord(record);
    case FileContent::kUsimEmergencyCodes:
      return DecodeUsimEmergencyCode(record);
    default:
      return Decoded().Note("a transparent file, read in records: not decoded");
  }
}

}  // namespace quorvel
