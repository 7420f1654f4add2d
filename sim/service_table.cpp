#include "sim/service_table.h"

#include <string_view>

namespace quorvel {
namespace {

// GSM 11.11 10.3.7 and TS 51.011 10.3.7, services 1 to 59.
constexpr std::string_view kSimServices[] = {
    "CHV1 disable function",
    "Abbreviated Dialling Numbers (ADN)",
    "Fixed Dialling Numbers (FDN)",
    "Short Message Storage (SMS)",
    "Advice of Charge (AoC)",
    "Capability Configuration Parameters (CCP)",
    "PLMN selector",
    "RFU",
    "MSISDN",
    "Extension1",
    "Extension2",
    "SMS Parameters",
    "Last Number Dialled (LND)",
    "Cell Broadcast Message Identifier",
    "Group Identifier Level 1",
    "Group Identifier Level 2",
    "Service Provider Name",
    "Service Dialling Numbers (SDN)",
    "Extension3",
    "RFU",
    "VGCS Group Identifier List (EFVGCS and EFVGCSS)",
    "VBS Group Identifier List (EFVBS and EFVBSS)",
    "enhanced Multi-Level Precedence and Pre-emption Service",
    "Automatic Answer for eMLPP",
    "Data download via SMS-CB",
    "Data download via SMS-PP",
    "Menu selection",
    "Call control",
    "Proactive SIM",
    "Cell Broadcast Message Identifier Ranges",
    "Barred Dialling Numbers (BDN)",
    "Extension4",
    "De-personalization Control Keys",
    "Co-operative Network List",
    "Short Message Status Reports",
    "Network's indication of alerting in the MS",
    "Mobile Originated Short Message control by SIM",
    "GPRS",
    "Image (IMG)",
    "SoLSA (Support of Local Service Area)",
    "USSD string data object supported in Call Control",
    "RUN AT COMMAND command",
    "User controlled PLMN Selector with Access Technology",
    "Operator controlled PLMN Selector with Access Technology",
    "HPLMN Selector with Access Technology",
    "CPBCCH Information",
    "Investigation Scan",
    "Extended Capability Configuration Parameters",
    "MExE",
    "Reserved and shall be ignored",
    "PLMN Network Name",
    "Operator PLMN List",
    "Mailbox Dialling Numbers",
    "Message Waiting Indication Status",
    "Call Forwarding Indication Status",
    "Service Provider Display Information",
    "Multimedia Messaging Service (MMS)",
    "Extension 8",
    "MMS User Connectivity Parameters",
};

// TS 31.102 4.2.8, services 1 to 96.
constexpr std::string_view kUsimServices[] = {
    "Local Phone Book",
    "Fixed Dialling Numbers (FDN)",
    "Extension 2",
    "Service Dialling Numbers (SDN)",
    "Extension3",
    "Barred Dialling Numbers (BDN)",
    "Extension4",
    "Outgoing Call Information (OCI and OCT)",
    "Incoming Call Information (ICI and ICT)",
    "Short Message Storage (SMS)",
    "Short Message Status Reports (SMSR)",
    "Short Message Service Parameters (SMSP)",
    "Advice of Charge (AoC)",
    "Capability Configuration Parameters 2 (CCP2)",
    "Cell Broadcast Message Identifier",
    "Cell Broadcast Message Identifier Ranges",
    "Group Identifier Level 1",
    "Group Identifier Level 2",
    "Service Provider Name",
    "User controlled PLMN selector with Access Technology",
    "MSISDN",
    "Image (IMG)",
    "Support of Localised Service Areas (SoLSA)",
    "Enhanced Multi-Level Precedence and Pre-emption Service",
    "Automatic Answer for eMLPP",
    "RFU",
    "GSM Access",
    "Data download via SMS-PP",
    "Data download via SMS-CB",
    "Call Control by USIM",
    "MO-SMS Control by USIM",
    "RUN AT COMMAND command",
    "shall be set to 1",
    "Enabled Services Table",
    "APN Control List (ACL)",
    "Depersonalisation Control Keys",
    "Co-operative Network List",
    "GSM security context",
    "CPBCCH Information",
    "Investigation Scan",
    "MexE",
    "Operator controlled PLMN selector with Access Technology",
    "HPLMN selector with Access Technology",
    "Extension 5",
    "PLMN Network Name",
    "Operator PLMN List",
    "Mailbox Dialling Numbers",
    "Message Waiting Indication Status",
    "Call Forwarding Indication Status",
    "Reserved and shall be ignored",
    "Service Provider Display Information",
    "Multimedia Messaging Service (MMS)",
    "Extension 8",
    "Call control on GPRS by USIM",
    "MMS User Connectivity Parameters",
    "Network's indication of alerting in the MS (NIA)",
    "VGCS Group Identifier List (EFVGCS and EFVGCSS)",
    "VBS Group Identifier List (EFVBS and EFVBSS)",
    "Pseudonym",
    "User Controlled PLMN selector for I-WLAN access",
    "Operator Controlled PLMN selector for I-WLAN access",
    "User controlled WSID list",
    "Operator controlled WSID list",
    "VGCS security",
    "VBS security",
    "WLAN Reauthentication Identity",
    "Multimedia Messages Storage",
    "Generic Bootstrapping Architecture (GBA)",
    "MBMS security",
    "Data download via USSD and USSD application mode",
    "Equivalent HPLMN",
    "Additional TERMINAL PROFILE after UICC activation",
    "Equivalent HPLMN Presentation Indication",
    "Last RPLMN Selection Indication",
    "OMA BCAST Smart Card Profile",
    "GBA-based Local Key Establishment Mechanism",
    "Terminal Applications",
    "Service Provider Name Icon",
    "PLMN Network Name Icon",
    "Connectivity Parameters for USIM IP connections",
    "Home I-WLAN Specific Identifier List",
    "I-WLAN Equivalent HPLMN Presentation Indication",
    "I-WLAN HPLMN Priority Indication",
    "I-WLAN Last Registered PLMN",
    "EPS Mobility Management Information",
    "Allowed CSG Lists and corresponding indications",
    "Call control on EPS PDN connection by USIM",
    "HPLMN Direct Access",
    "eCall Data",
    "Operator CSG Lists and corresponding indications",
    "Support for SM-over-IP",
    "Support of CSG Display Control",
    "Communication Control for IMS by USIM",
    "Extended Terminal Applications",
    "Support of UICC access to IMS",
    "Non-Access Stratum configuration by USIM",
};

// TS 31.102 4.2.47.
constexpr std::string_view kEnabledServices[] = {
    "Fixed Dialling Numbers (FDN)",
    "Barred Dialling Numbers (BDN)",
    "APN Control List (ACL)",
};

template <std::size_t N>
std::string NameIn(const std::string_view (&names)[N], int number) {
  if (number >= 1 && static_cast<std::size_t>(number) <= N) return std::string(names[number - 1]);
  return "service " + std::to_string(number);
}

// Services by bit, one bit a service, listed by number and name.
Decoded BitServices(std::span<const std::uint8_t> bytes, std::string (*name)(int)) {
  Decoded services;
  for (std::size_t i = 0; i < bytes.size() * 8; ++i) {
    if (bytes[i / 8] & (1u << (i % 8))) {
      const int number = static_cast<int>(i) + 1;
      services.Add(std::to_string(number), name(number));
    }
  }
  return services;
}

}  // namespace

std::string SimServiceName(int number) {
  return NameIn(kSimServices, number);
}

std::string UsimServiceName(int number) {
  return NameIn(kUsimServices, number);
}

std::string EnabledServiceName(int number) {
  return NameIn(kEnabledServices, number);
}

Decoded DecodeSimServiceTable(std::span<const std::uint8_t> bytes) {
  Decoded services;
  Decoded allocatedOnly;
  Decoded decoded;
  for (std::size_t i = 0; i < bytes.size() * 4; ++i) {
    const unsigned bits = (bytes[i / 4] >> (2 * (i % 4))) & 0x03;
    const int number = static_cast<int>(i) + 1;
    if (bits == 0x03) services.Add(std::to_string(number), SimServiceName(number));
    if (bits == 0x01) allocatedOnly.Add(std::to_string(number), SimServiceName(number));
    if (bits == 0x02)
      decoded.Note("service " + std::to_string(number) + " activated, not allocated");
  }
  decoded.Add("services", std::move(services));
  if (!allocatedOnly.Empty()) decoded.Add("allocated_not_activated", std::move(allocatedOnly));
  return decoded;
}

Decoded DecodeUsimServiceTable(std::span<const std::uint8_t> bytes) {
  return Decoded().Add("services", BitServices(bytes, UsimServiceName));
}

Decoded DecodeEnabledServiceTable(std::span<const std::uint8_t> bytes) {
  return Decoded().Add("enabled", BitServices(bytes, EnabledServiceName));
}

}  // namespace quorvel
