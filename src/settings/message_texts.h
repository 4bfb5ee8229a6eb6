// Program-wide user-visible texts, filled once at start by SetLanguageTexts.
#pragma once

#include <string>

namespace zandrex {

// This project's own contact points and legal lines, kept in one place.
inline constexpr const char* kSupportAddress = "support@zandrex.org";
inline constexpr const char* kWebsiteAddress = "https://zandrex.org";
inline constexpr const char* kLegalLine1 = "Copyright (c) 2026 The Zandrex developers.";
inline constexpr const char* kLegalLine2 = "All rights reserved.";

extern std::string msgProductName;
extern std::string msgOSNotSupported;
extern std::string msgSendThisFile;
extern std::string msgProgramError;
extern std::string msgOK;
extern std::string msgSorry;
extern std::string msgDirections;
extern std::string msgFolderStep1;
extern std::string msgFolderStep2;
extern std::string msgFolderStep3;
extern std::string msgFolderStep4;
extern std::string msgOr;
extern std::string msgClientStep1;
extern std::string msgClientStep2;
extern std::string msgClientStep3;
extern std::string msgClientStep4;
extern std::string msgLinkStep1;
extern std::string msgLinkStep2;
extern std::string msgLinkStep3;
extern std::string msgDriveNotPresent;
extern std::string msgNoDisk;
extern std::string msgFileNotFound;
extern std::string msgAboutCaption;
extern std::string msgVersion;
extern std::string msgLegalNotice1;
extern std::string msgLegalNotice2;
extern std::string msgWebsite;
extern std::string msgTechSupport;

// Assigns every text. No trap of its own.
void SetLanguageTexts();

} // namespace zandrex
