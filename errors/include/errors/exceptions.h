// Exception classes of the comm library.
//
// EAPDException carries a result code and the code's text; RaiseForCode (code_message.h)
// chooses the class from the code. The socket layer has its own EApdSocketException with
// positive codes.
#pragma once

#include <string>

#include "platform/sysutils.h"

class EAPDException : public platform::Exception {
 public:
  // ErrorCode := code as given; message := CodeMessage of its absolute value.
  explicit EAPDException(int code);
  // ErrorCode := 0; message := text.
  explicit EAPDException(const std::string& text);
  explicit EAPDException(const char* text) : EAPDException(std::string(text)) {}

  int ErrorCode;
};

// Declares an exception class that only takes its parent's constructors.
#define KVB_APD_EXCEPTION(Name, Parent) \
  class Name : public Parent {          \
   public:                              \
    using Parent::Parent;               \
  }

// The eleven families.
KVB_APD_EXCEPTION(EGeneral, EAPDException);
KVB_APD_EXCEPTION(EOpenComm, EAPDException);
KVB_APD_EXCEPTION(ESerialIO, EAPDException);
KVB_APD_EXCEPTION(EModem, EAPDException);
KVB_APD_EXCEPTION(ETrigger, EAPDException);
KVB_APD_EXCEPTION(EPacket, EAPDException);
KVB_APD_EXCEPTION(EProtocol, EAPDException);
KVB_APD_EXCEPTION(EINI, EAPDException);
KVB_APD_EXCEPTION(EFax, EAPDException);
KVB_APD_EXCEPTION(ETapi, EAPDException);
KVB_APD_EXCEPTION(ERas, EAPDException);

// EGeneral
KVB_APD_EXCEPTION(EBadArgument, EGeneral);
KVB_APD_EXCEPTION(EGotQuitMsg, EGeneral);
KVB_APD_EXCEPTION(EBufferTooBig, EGeneral);
KVB_APD_EXCEPTION(EPortNotAssigned, EGeneral);
KVB_APD_EXCEPTION(EInternal, EGeneral);
KVB_APD_EXCEPTION(EModemNotAssigned, EGeneral);
KVB_APD_EXCEPTION(EPhonebookNotAssigned, EGeneral);
KVB_APD_EXCEPTION(ECannotUseWithWinSock, EGeneral);

// EOpenComm
KVB_APD_EXCEPTION(EBadId, EOpenComm);
KVB_APD_EXCEPTION(EBaudRate, EOpenComm);
KVB_APD_EXCEPTION(EByteSize, EOpenComm);
KVB_APD_EXCEPTION(EDefault, EOpenComm);
KVB_APD_EXCEPTION(EHardware, EOpenComm);
KVB_APD_EXCEPTION(EMemory, EOpenComm);
KVB_APD_EXCEPTION(ECommNotOpen, EOpenComm);
KVB_APD_EXCEPTION(EAlreadyOpen, EOpenComm);
KVB_APD_EXCEPTION(ENoHandles, EOpenComm);
KVB_APD_EXCEPTION(ENoTimers, EOpenComm);
KVB_APD_EXCEPTION(ENoPortSelected, EOpenComm);
KVB_APD_EXCEPTION(ENotOpenedByTapi, EOpenComm);

// ESerialIO
KVB_APD_EXCEPTION(ENullApi, ESerialIO);
KVB_APD_EXCEPTION(ERegisterHandlerFailed, ESerialIO);
KVB_APD_EXCEPTION(EPutBlockFail, ESerialIO);
KVB_APD_EXCEPTION(EGetBlockFail, ESerialIO);
KVB_APD_EXCEPTION(EOutputBufferTooSmall, ESerialIO);
KVB_APD_EXCEPTION(EBufferIsEmpty, ESerialIO);
KVB_APD_EXCEPTION(ETracingNotEnabled, ESerialIO);
KVB_APD_EXCEPTION(ELoggingNotEnabled, ESerialIO);
KVB_APD_EXCEPTION(EBaseAddressNotSet, ESerialIO);

// EModem
KVB_APD_EXCEPTION(EModemNotStarted, EModem);
KVB_APD_EXCEPTION(EModemBusy, EModem);
KVB_APD_EXCEPTION(EModemNotDialing, EModem);
KVB_APD_EXCEPTION(EModemNotResponding, EModem);
KVB_APD_EXCEPTION(EModemRejectedCommand, EModem);
KVB_APD_EXCEPTION(EModemStatusMismatch, EModem);
KVB_APD_EXCEPTION(EAlreadyDialing, EModem);
KVB_APD_EXCEPTION(ENotDialing, EModem);

// ETrigger
KVB_APD_EXCEPTION(ETriggerTooLong, ETrigger);
KVB_APD_EXCEPTION(EBadTriggerHandle, ETrigger);

// EPacket: the packet matcher raises it itself with the negative code.
KVB_APD_EXCEPTION(EInvalidProperty, EPacket);

// EINI
KVB_APD_EXCEPTION(EKeyTooLong, EINI);
KVB_APD_EXCEPTION(EDataTooLarge, EINI);
KVB_APD_EXCEPTION(EIniWrite, EINI);
KVB_APD_EXCEPTION(EIniRead, EINI);
KVB_APD_EXCEPTION(ERecordExists, EINI);
KVB_APD_EXCEPTION(ERecordNotFound, EINI);
KVB_APD_EXCEPTION(EDatabaseFull, EINI);
KVB_APD_EXCEPTION(EDatabaseEmpty, EINI);
KVB_APD_EXCEPTION(EBadFieldList, EINI);
KVB_APD_EXCEPTION(EBadFieldForIndex, EINI);

// EFax (codes in codes.h, ecFax*)
KVB_APD_EXCEPTION(EFaxBadFormat, EFax);
KVB_APD_EXCEPTION(EFaxBadHeader, EFax);
KVB_APD_EXCEPTION(EFaxFontFileNotFound, EFax);
KVB_APD_EXCEPTION(EFaxBadFontFile, EFax);
KVB_APD_EXCEPTION(EFaxBadPageNumber, EFax);
KVB_APD_EXCEPTION(EFaxNoFaxFile, EFax);
KVB_APD_EXCEPTION(EFaxImageTooWide, EFax);
KVB_APD_EXCEPTION(EFaxUnsupportedImage, EFax);
KVB_APD_EXCEPTION(EFaxBadTiff, EFax);
KVB_APD_EXCEPTION(EFaxTiffCompression, EFax);
KVB_APD_EXCEPTION(EFaxBadPcx, EFax);
KVB_APD_EXCEPTION(EFaxBadDcx, EFax);
KVB_APD_EXCEPTION(EFaxBadBmp, EFax);
KVB_APD_EXCEPTION(EFaxConvertAbort, EFax);
KVB_APD_EXCEPTION(EFaxNoDriver, EFax);
KVB_APD_EXCEPTION(EFaxConverterBusy, EFax);
KVB_APD_EXCEPTION(EFaxPageError, EFax);

// ETapi (codes in codes.h, ecTapi*)
KVB_APD_EXCEPTION(ETapiAllocated, ETapi);
KVB_APD_EXCEPTION(ETapiBadDeviceId, ETapi);
KVB_APD_EXCEPTION(ETapiBearerModeUnavail, ETapi);
KVB_APD_EXCEPTION(ETapiCallUnavail, ETapi);
KVB_APD_EXCEPTION(ETapiCompletionOverrun, ETapi);
KVB_APD_EXCEPTION(ETapiConferenceFull, ETapi);
KVB_APD_EXCEPTION(ETapiDialBilling, ETapi);
KVB_APD_EXCEPTION(ETapiDialDialtone, ETapi);
KVB_APD_EXCEPTION(ETapiDialPrompt, ETapi);
KVB_APD_EXCEPTION(ETapiDialQuiet, ETapi);
KVB_APD_EXCEPTION(ETapiIncompatibleApiVersion, ETapi);
KVB_APD_EXCEPTION(ETapiIncompatibleExtVersion, ETapi);
KVB_APD_EXCEPTION(ETapiIniFileCorrupt, ETapi);
KVB_APD_EXCEPTION(ETapiInUse, ETapi);
KVB_APD_EXCEPTION(ETapiInvalAddress, ETapi);
KVB_APD_EXCEPTION(ETapiInvalAddressId, ETapi);
KVB_APD_EXCEPTION(ETapiInvalAddressMode, ETapi);
KVB_APD_EXCEPTION(ETapiInvalAddressState, ETapi);
KVB_APD_EXCEPTION(ETapiInvalAppHandle, ETapi);
KVB_APD_EXCEPTION(ETapiInvalAppName, ETapi);
KVB_APD_EXCEPTION(ETapiInvalBearerMode, ETapi);
KVB_APD_EXCEPTION(ETapiInvalCallComplMode, ETapi);
KVB_APD_EXCEPTION(ETapiInvalCallHandle, ETapi);
KVB_APD_EXCEPTION(ETapiInvalCallParams, ETapi);
KVB_APD_EXCEPTION(ETapiInvalCallPrivilege, ETapi);
KVB_APD_EXCEPTION(ETapiInvalCallSelect, ETapi);
KVB_APD_EXCEPTION(ETapiInvalCallState, ETapi);
KVB_APD_EXCEPTION(ETapiInvalCallStateList, ETapi);
KVB_APD_EXCEPTION(ETapiInvalCard, ETapi);
KVB_APD_EXCEPTION(ETapiInvalCompletionId, ETapi);
KVB_APD_EXCEPTION(ETapiInvalConfCallHandle, ETapi);
KVB_APD_EXCEPTION(ETapiInvalConsultCallHandle, ETapi);
KVB_APD_EXCEPTION(ETapiInvalCountryCode, ETapi);
KVB_APD_EXCEPTION(ETapiInvalDeviceClass, ETapi);
KVB_APD_EXCEPTION(ETapiInvalDeviceHandle, ETapi);
KVB_APD_EXCEPTION(ETapiInvalDialParams, ETapi);
KVB_APD_EXCEPTION(ETapiInvalDigitList, ETapi);
KVB_APD_EXCEPTION(ETapiInvalDigitMode, ETapi);
KVB_APD_EXCEPTION(ETapiInvalDigits, ETapi);
KVB_APD_EXCEPTION(ETapiInvalExtVersion, ETapi);
KVB_APD_EXCEPTION(ETapiInvalGroupId, ETapi);
KVB_APD_EXCEPTION(ETapiInvalLineHandle, ETapi);
KVB_APD_EXCEPTION(ETapiInvalLineState, ETapi);
KVB_APD_EXCEPTION(ETapiInvalLocation, ETapi);
KVB_APD_EXCEPTION(ETapiInvalMediaList, ETapi);
KVB_APD_EXCEPTION(ETapiInvalMediaMode, ETapi);
KVB_APD_EXCEPTION(ETapiInvalMessageId, ETapi);
KVB_APD_EXCEPTION(ETapiInvalParam, ETapi);
KVB_APD_EXCEPTION(ETapiInvalParkId, ETapi);
KVB_APD_EXCEPTION(ETapiInvalParkMode, ETapi);
KVB_APD_EXCEPTION(ETapiInvalPointer, ETapi);
KVB_APD_EXCEPTION(ETapiInvalPrivSelect, ETapi);
KVB_APD_EXCEPTION(ETapiInvalRate, ETapi);
KVB_APD_EXCEPTION(ETapiInvalRequestMode, ETapi);
KVB_APD_EXCEPTION(ETapiInvalTerminalId, ETapi);
KVB_APD_EXCEPTION(ETapiInvalTerminalMode, ETapi);
KVB_APD_EXCEPTION(ETapiInvalTimeout, ETapi);
KVB_APD_EXCEPTION(ETapiInvalTone, ETapi);
KVB_APD_EXCEPTION(ETapiInvalToneList, ETapi);
KVB_APD_EXCEPTION(ETapiInvalToneMode, ETapi);
KVB_APD_EXCEPTION(ETapiInvalTransferMode, ETapi);
KVB_APD_EXCEPTION(ETapiLineMapperFailed, ETapi);
KVB_APD_EXCEPTION(ETapiNoConference, ETapi);
KVB_APD_EXCEPTION(ETapiNoDevice, ETapi);
KVB_APD_EXCEPTION(ETapiNoDriver, ETapi);
KVB_APD_EXCEPTION(ETapiNoMem, ETapi);
KVB_APD_EXCEPTION(ETapiNoRequest, ETapi);
KVB_APD_EXCEPTION(ETapiNotOwner, ETapi);
KVB_APD_EXCEPTION(ETapiNotRegistered, ETapi);
KVB_APD_EXCEPTION(ETapiOperationFailed, ETapi);
KVB_APD_EXCEPTION(ETapiOperationUnavail, ETapi);
KVB_APD_EXCEPTION(ETapiRateUnavail, ETapi);
KVB_APD_EXCEPTION(ETapiResourceUnavail, ETapi);
KVB_APD_EXCEPTION(ETapiRequestOverrun, ETapi);
KVB_APD_EXCEPTION(ETapiStructureTooSmall, ETapi);
KVB_APD_EXCEPTION(ETapiTargetNotFound, ETapi);
KVB_APD_EXCEPTION(ETapiTargetSelf, ETapi);
KVB_APD_EXCEPTION(ETapiUninitialized, ETapi);
KVB_APD_EXCEPTION(ETapiUserUserInfoTooBig, ETapi);
KVB_APD_EXCEPTION(ETapiReinit, ETapi);
KVB_APD_EXCEPTION(ETapiAddressBlocked, ETapi);
KVB_APD_EXCEPTION(ETapiBillingRejected, ETapi);
KVB_APD_EXCEPTION(ETapiInvalFeature, ETapi);
KVB_APD_EXCEPTION(ETapiNoMultipleInstance, ETapi);
KVB_APD_EXCEPTION(ETapiBusy, ETapi);
KVB_APD_EXCEPTION(ETapiNoAnswer, ETapi);
KVB_APD_EXCEPTION(ETapiNoDialtone, ETapi);
KVB_APD_EXCEPTION(ETapiUnexpected, ETapi);
KVB_APD_EXCEPTION(ETapiNoSelect, ETapi);
KVB_APD_EXCEPTION(ETapiNotSet, ETapi);
KVB_APD_EXCEPTION(ETapiWaveFail, ETapi);
KVB_APD_EXCEPTION(ETapiGetTransCapsFail, ETapi);
KVB_APD_EXCEPTION(ETapiTranslateFail, ETapi);

// ERas
KVB_APD_EXCEPTION(ERasLoadFail, ERas);

#undef KVB_APD_EXCEPTION

// Selects the second constructor of EApdSocketException.
struct TWinsockNotInitialized {};
inline constexpr TWinsockNotInitialized WinsockNotInitialized{};

// The socket layer's exception: Winsock error numbers and ecWs* codes, always positive.
class EApdSocketException : public platform::Exception {
 public:
  // Message: the text of code.
  explicit EApdSocketException(int code);
  // Message: "Winsock not initialized - %s" filled with the text of code (a recorded start-up
  // error); ErrorCode stays code.
  EApdSocketException(int code, TWinsockNotInitialized);

  int ErrorCode;
};
