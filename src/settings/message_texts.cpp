#include "settings/message_texts.h"

namespace zandrex {

std::string msgProductName, msgOSNotSupported, msgSendThisFile, msgProgramError, msgOK, msgSorry,
    msgDirections, msgFolderStep1, msgFolderStep2, msgFolderStep3, msgFolderStep4, msgOr,
    msgClientStep1, msgClientStep2, msgClientStep3, msgClientStep4, msgLinkStep1, msgLinkStep2,
    msgLinkStep3, msgDriveNotPresent, msgNoDisk, msgFileNotFound, msgAboutCaption, msgVersion,
    msgLegalNotice1, msgLegalNotice2, msgWebsite, msgTechSupport;

void SetLanguageTexts() {
  const std::string support = kSupportAddress;
  msgProductName = "Zandrex";
  msgOSNotSupported = "Zandrex supports only Windows 2000/XP/2003/Vista";
  msgSendThisFile = "Please send this file to " + support;
  msgProgramError = "Program Error";
  msgOK = "OK";
  msgSorry = "Sorry, an error has occurred. Try to restart the program.";
  msgDirections = "If the error occurs again, please send a message with an attached "
                  "ErrorReport.txt file by following these directions:";
  msgFolderStep1 = "1) Go to the folder (click to open folder):";
  msgFolderStep2 = "2) Locate the ErrorReport.txt file in this folder";
  msgFolderStep3 = "3) Right-click on the file and choose \"Send To...\" and \"Mail Recipient\"";
  msgFolderStep4 = "4) Send the file to " + support;
  msgOr = "OR";
  msgClientStep1 = "1) Open your email client";
  msgClientStep2 = "2) Create a new email document";
  msgClientStep3 =
      "3) Attach the ErrorReport.txt file located in the folder (click to open folder):";
  msgClientStep4 = msgFolderStep4;
  msgLinkStep1 = "1) Click the link below and your default email client will create a message";
  msgLinkStep2 = "2) Attach the ErrorReport.txt file located in the folder (click to open folder):";
  msgLinkStep3 = "3) Send the mail";
  msgDriveNotPresent = "The drive is not present.";
  msgNoDisk = "No disk in the drive.";
  msgFileNotFound = "The specified file was not found.";
  msgAboutCaption = "About Zandrex";
  msgVersion = "Version ";
  msgLegalNotice1 = kLegalLine1;
  msgLegalNotice2 = kLegalLine2;
  msgWebsite = "Website:";
  msgTechSupport = "Technical support:";
}

} // namespace zandrex
