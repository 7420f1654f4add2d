#include "sim/known_files.h"

namespace quorvel {
namespace {

constexpr KnownFile kMasterFiles[] = {
    {"EF.ICCID", 0x2FE2, FileContent::kIccid},
    {"EF.DIR", 0x2F00, FileContent::kApplicationDirectory},
};

constexpr KnownFile kTelecomFiles[] = {
    {"EF.ADN", 0x6F3A, FileContent::kDiallingNumbers},
    {"EF.FDN", 0x6F3B, FileContent::kDiallingNumbers},
    {"EF.SMS", 0x6F3C, FileContent::kShortMessages},
    {"EF.MSISDN", 0x6F40, FileContent::kDiallingNumbers},
};

constexpr KnownFile kGsmFiles[] = {
    {"EF.IMSI", 0x6F07, FileContent::kImsi},
    {"EF.Kc", 0x6F20, FileContent::kCipheringKey},
    {"EF.PLMNsel", 0x6F30, FileContent::kPlmnSelector},
    {"EF.SST", 0x6F38, FileContent::kSimServiceTable},
    {"EF.SPN", 0x6F46, FileContent::kServiceProviderName},
    {"EF.LOCI", 0x6F7E, FileContent::kLocation},
    {"EF.AD", 0x6FAD, FileContent::kAdministrativeData},
    {"EF.ECC", 0x6FB7, FileContent::kSimEmergencyCodes},
};

constexpr KnownFile kUsimFiles[] = {
    {"EF.IMSI", 0x6F07, FileContent::kImsi},
    {"EF.UST", 0x6F38, FileContent::kUsimServiceTable},
    {"EF.EST", 0x6F56, FileContent::kEnabledServiceTable},
    {"EF.SPN", 0x6F46, FileContent::kServiceProviderName},
    {"EF.LOCI", 0x6F7E, FileContent::kLocation},
    {"EF.PSLOCI", 0x6F73, FileContent::kPacketLocation},
    {"EF.AD", 0x6FAD, FileContent::kAdministrativeData},
    {"EF.ECC", 0x6FB7, FileContent::kUsimEmergencyCodes},
};

constexpr KnownDirectory kMasterFile{"MF", kMasterFileId, "MF", kMasterFiles};
constexpr KnownDirectory kSimDirectories[] = {
    {"DF.TELECOM", 0x7F10, "TELECOM", kTelecomFiles},
    {"DF.GSM", 0x7F20, "GSM", kGsmFiles},
};
constexpr KnownDirectory kUsim{"ADF.USIM", kCurrentApplicationId, "USIM", kUsimFiles};

}  // namespace

bool IsRecordContent(FileContent content) {
  switch (content) {
    case FileContent::kApplicationDirectory:
    case FileContent::kDiallingNumbers:
    case FileContent::kShortMessages:
    case FileContent::kUsimEmergencyCodes:
      return true;
    default:
      return false;
  }
}

const KnownDirectory& MasterFileDirectory() {
  return kMasterFile;
}

std::span<const KnownDirectory> SimDirectories() {
  return kSimDirectories;
}

const KnownDirectory& UsimDirectory() {
  return kUsim;
}

}  // namespace quorvel
