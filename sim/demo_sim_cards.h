#pragma once

#include <memory>
#include <vector>

#include "sim/file_system_card.h"

namespace quorvel {

// The files of DEMS, a GSM SIM (class A0): EF.ICCID, DF.TELECOM (ADN, FDN, SMS, MSISDN) and
// DF.GSM (IMSI with a two-digit MNC, Kc, PLMNsel, SST, SPN, LOCI, AD, ECC), with the values
// README.md lists. CHV1 guards the personal files; on DEMS it is disabled.
std::vector<FileSystemCard::File> DemoSimFiles();

// The files of DEMU, a UICC (class 00) with a USIM: EF.ICCID of 20 digits, EF.DIR naming the
// USIM, DF.TELECOM (with UCS2 names in EF.ADN), DF.GSM and ADF.USIM (IMSI with a three-digit
// MNC, UST, EST, SPN, LOCI, PSLOCI, AD, ECC).
std::vector<FileSystemCard::File> DemoUiccFiles();

// DEMS: CHV1 disabled (3 tries). DEMU: PIN1 enabled, "1234", 3 tries.
std::unique_ptr<FileSystemCard> MakeDemoSim();
std::unique_ptr<FileSystemCard> MakeDemoUicc();

}  // namespace quorvel
