#pragma once

#include <cstdint>
#include <span>

namespace quorvel {

// How a known file's content is coded, which picks its decoder. The same id means different
// things in different places (6F38: SST in DF.GSM, UST in ADF.USIM; 6FB7: transparent ECC on
// a SIM, linear fixed in a USIM), so a file is known by its directory and id together.
enum class FileContent {
  kIccid,
  kApplicationDirectory,
  kDiallingNumbers,
  kShortMessages,
  kImsi,
  kCipheringKey,
  kPlmnSelector,
  kSimServiceTable,
  kUsimServiceTable,
  kEnabledServiceTable,
  kServiceProviderName,
  kLocation,
  kPacketLocation,
  kAdministrativeData,
  kSimEmergencyCodes,
  kUsimEmergencyCodes,
};

// Whether the content comes in records (linear fixed) rather than as one body.
bool IsRecordContent(FileContent content);

struct KnownFile {
  const char* name;  // "EF.IMSI"
  std::uint16_t id;
  FileContent content;
};

struct KnownDirectory {
  const char* name;  // "DF.GSM"
  std::uint16_t id;  // 7FFF stands for the current application
  const char* app;   // what the tree and JSON call its files' application: "GSM", "USIM"
  std::span<const KnownFile> files;
};

inline constexpr std::uint16_t kMasterFileId = 0x3F00;
inline constexpr std::uint16_t kCurrentApplicationId = 0x7FFF;

// The MF and its EF.ICCID and EF.DIR (TS 102 221 clause 13).
const KnownDirectory& MasterFileDirectory();
// DF.TELECOM (EF.ADN, EF.FDN, EF.SMS, EF.MSISDN) and DF.GSM (EF.IMSI, EF.Kc, EF.PLMNsel,
// EF.SST, EF.SPN, EF.LOCI, EF.AD, EF.ECC), GSM 11.11 clause 10.
std::span<const KnownDirectory> SimDirectories();
// ADF.USIM (EF.IMSI, EF.UST, EF.EST, EF.SPN, EF.LOCI, EF.PSLOCI, EF.AD, EF.ECC), TS 31.102
// clause 4.2.
const KnownDirectory& UsimDirectory();

}  // namespace quorvel
