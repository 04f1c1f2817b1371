#include "errors/code_message.h"

#include <cstdint>
#include <cstdlib>

#include "errors/codes.h"
#include "errors/exceptions.h"
#include "errors/string_resource.h"
#include "platform/system.h"

namespace {

constexpr std::size_t kMaxMessage = 255;

// The system's text with its line breaks and other control characters as single spaces.
// Inserts such as %1 are kept as they stand: there are no arguments to fill them from.
std::string SystemText(int number) {
  char buffer[kMaxMessage] = {};
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                     static_cast<DWORD>(number), 0, buffer, kMaxMessage, nullptr);
  if (length == 0) return std::string();
  std::string text(buffer, length < kMaxMessage ? length : kMaxMessage - 1);
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 32) c = ' ';
  std::string collapsed;
  collapsed.reserve(text.size());
  for (char c : text)
    if (!(c == ' ' && !collapsed.empty() && collapsed.back() == ' ')) collapsed += c;
  return collapsed;
}

template <class E>
[[noreturn]] void Raise(int code) {
  throw E(code);
}

struct TCodeClass {
  int Code;
  void (*RaiseIt)(int);
};

// Codes that raise a class of their own, ascending by absolute value.
const TCodeClass kCodeClasses[] = {
    {ecBadArgument, Raise<EBadArgument>},
    {ecGotQuitMsg, Raise<EGotQuitMsg>},
    {ecBufferTooBig, Raise<EBufferTooBig>},
    {ecPortNotAssigned, Raise<EPortNotAssigned>},
    {ecErrorCreatingWindowClass, Raise<EInternal>},
    {ecModemNotAssigned, Raise<EModemNotAssigned>},
    {ecPhonebookNotAssigned, Raise<EPhonebookNotAssigned>},
    {ecCannotUseWithWinSock, Raise<ECannotUseWithWinSock>},

    {ecBadId, Raise<EBadId>},
    {ecBaudRate, Raise<EBaudRate>},
    {ecByteSize, Raise<EByteSize>},
    {ecDefault, Raise<EDefault>},
    {ecHardware, Raise<EHardware>},
    {ecMemory, Raise<EMemory>},
    {ecCommNotOpen, Raise<ECommNotOpen>},
    {ecAlreadyOpen, Raise<EAlreadyOpen>},
    {ecNoHandles, Raise<ENoHandles>},
    {ecNoTimers, Raise<ENoTimers>},
    {ecNoPortSelected, Raise<ENoPortSelected>},
    {ecNotOpenedByTapi, Raise<ENotOpenedByTapi>},

    {ecNullApi, Raise<ENullApi>},
    {ecRegisterHandlerFailed, Raise<ERegisterHandlerFailed>},
    {ecPutBlockFail, Raise<EPutBlockFail>},
    {ecGetBlockFail, Raise<EGetBlockFail>},
    {ecOutputBufferTooSmall, Raise<EOutputBufferTooSmall>},
    {ecBufferIsEmpty, Raise<EBufferIsEmpty>},
    {ecTracingNotEnabled, Raise<ETracingNotEnabled>},
    {ecLoggingNotEnabled, Raise<ELoggingNotEnabled>},
    {ecBaseAddressNotSet, Raise<EBaseAddressNotSet>},

    {ecModemNotStarted, Raise<EModemNotStarted>},
    {ecModemBusy, Raise<EModemBusy>},
    {ecModemNotDialing, Raise<EModemNotDialing>},
    {ecModemNotResponding, Raise<EModemNotResponding>},
    {ecModemRejectedCommand, Raise<EModemRejectedCommand>},
    {ecModemStatusMismatch, Raise<EModemStatusMismatch>},
    {ecAlreadyDialing, Raise<EAlreadyDialing>},
    {ecNotDialing, Raise<ENotDialing>},

    {ecTriggerTooLong, Raise<ETriggerTooLong>},
    {ecBadTriggerHandle, Raise<EBadTriggerHandle>},

    {ecStartStringEmpty, Raise<EInvalidProperty>},
    {ecPacketTooSmall, Raise<EInvalidProperty>},
    {ecNoEndCharCount, Raise<EInvalidProperty>},
    {ecEmptyEndString, Raise<EInvalidProperty>},
    {ecZeroSizePacket, Raise<EInvalidProperty>},
    {ecPacketTooLong, Raise<EInvalidProperty>},

    {ecCancelRequested, Raise<EProtocol>},
    {ecBadFileList, Raise<EProtocol>},
    {ecFileRejected, Raise<EProtocol>},

    {ecKeyTooLong, Raise<EKeyTooLong>},
    {ecDataTooLarge, Raise<EDataTooLarge>},
    {ecNoFieldsDefined, Raise<EInternal>},
    {ecIniWrite, Raise<EIniWrite>},
    {ecIniRead, Raise<EIniRead>},
    {ecNoIndexKey, Raise<EInternal>},
    {ecRecordExists, Raise<ERecordExists>},
    {ecRecordNotFound, Raise<ERecordNotFound>},
    {ecDatabaseFull, Raise<EDatabaseFull>},
    {ecDatabaseEmpty, Raise<EDatabaseEmpty>},
    {ecBadFieldList, Raise<EBadFieldList>},
    {ecDatabaseNotPrepared, Raise<EInternal>},
    {ecBadFieldForIndex, Raise<EBadFieldForIndex>},

    {ecFaxBadFormat, Raise<EFaxBadFormat>},
    {ecFaxBadHeader, Raise<EFaxBadHeader>},
    {ecFaxFontFileNotFound, Raise<EFaxFontFileNotFound>},
    {ecFaxBadFontFile, Raise<EFaxBadFontFile>},
    {ecFaxBadPageNumber, Raise<EFaxBadPageNumber>},
    {ecFaxNoFaxFile, Raise<EFaxNoFaxFile>},
    {ecFaxImageTooWide, Raise<EFaxImageTooWide>},
    {ecFaxUnsupportedImage, Raise<EFaxUnsupportedImage>},
    {ecFaxBadTiff, Raise<EFaxBadTiff>},
    {ecFaxTiffCompression, Raise<EFaxTiffCompression>},
    {ecFaxBadPcx, Raise<EFaxBadPcx>},
    {ecFaxBadDcx, Raise<EFaxBadDcx>},
    {ecFaxBadBmp, Raise<EFaxBadBmp>},
    {ecFaxConvertAbort, Raise<EFaxConvertAbort>},
    {ecFaxNoDriver, Raise<EFaxNoDriver>},
    {ecFaxConverterBusy, Raise<EFaxConverterBusy>},
    {ecFaxPageError, Raise<EFaxPageError>},

    {ecTapiAllocated, Raise<ETapiAllocated>},
    {ecTapiBadDeviceId, Raise<ETapiBadDeviceId>},
    {ecTapiBearerModeUnavail, Raise<ETapiBearerModeUnavail>},
    {ecTapiCallUnavail, Raise<ETapiCallUnavail>},
    {ecTapiCompletionOverrun, Raise<ETapiCompletionOverrun>},
    {ecTapiConferenceFull, Raise<ETapiConferenceFull>},
    {ecTapiDialBilling, Raise<ETapiDialBilling>},
    {ecTapiDialDialtone, Raise<ETapiDialDialtone>},
    {ecTapiDialPrompt, Raise<ETapiDialPrompt>},
    {ecTapiDialQuiet, Raise<ETapiDialQuiet>},
    {ecTapiIncompatibleApiVersion, Raise<ETapiIncompatibleApiVersion>},
    {ecTapiIncompatibleExtVersion, Raise<ETapiIncompatibleExtVersion>},
    {ecTapiIniFileCorrupt, Raise<ETapiIniFileCorrupt>},
    {ecTapiInUse, Raise<ETapiInUse>},
    {ecTapiInvalAddress, Raise<ETapiInvalAddress>},
    {ecTapiInvalAddressId, Raise<ETapiInvalAddressId>},
    {ecTapiInvalAddressMode, Raise<ETapiInvalAddressMode>},
    {ecTapiInvalAddressState, Raise<ETapiInvalAddressState>},
    {ecTapiInvalAppHandle, Raise<ETapiInvalAppHandle>},
    {ecTapiInvalAppName, Raise<ETapiInvalAppName>},
    {ecTapiInvalBearerMode, Raise<ETapiInvalBearerMode>},
    {ecTapiInvalCallComplMode, Raise<ETapiInvalCallComplMode>},
    {ecTapiInvalCallHandle, Raise<ETapiInvalCallHandle>},
    {ecTapiInvalCallParams, Raise<ETapiInvalCallParams>},
    {ecTapiInvalCallPrivilege, Raise<ETapiInvalCallPrivilege>},
    {ecTapiInvalCallSelect, Raise<ETapiInvalCallSelect>},
    {ecTapiInvalCallState, Raise<ETapiInvalCallState>},
    {ecTapiInvalCallStateList, Raise<ETapiInvalCallStateList>},
    {ecTapiInvalCard, Raise<ETapiInvalCard>},
    {ecTapiInvalCompletionId, Raise<ETapiInvalCompletionId>},
    {ecTapiInvalConfCallHandle, Raise<ETapiInvalConfCallHandle>},
    {ecTapiInvalConsultCallHandle, Raise<ETapiInvalConsultCallHandle>},
    {ecTapiInvalCountryCode, Raise<ETapiInvalCountryCode>},
    {ecTapiInvalDeviceClass, Raise<ETapiInvalDeviceClass>},
    {ecTapiInvalDeviceHandle, Raise<ETapiInvalDeviceHandle>},
    {ecTapiInvalDialParams, Raise<ETapiInvalDialParams>},
    {ecTapiInvalDigitList, Raise<ETapiInvalDigitList>},
    {ecTapiInvalDigitMode, Raise<ETapiInvalDigitMode>},
    {ecTapiInvalDigits, Raise<ETapiInvalDigits>},
    {ecTapiInvalExtVersion, Raise<ETapiInvalExtVersion>},
    {ecTapiInvalGroupId, Raise<ETapiInvalGroupId>},
    {ecTapiInvalLineHandle, Raise<ETapiInvalLineHandle>},
    {ecTapiInvalLineState, Raise<ETapiInvalLineState>},
    {ecTapiInvalLocation, Raise<ETapiInvalLocation>},
    {ecTapiInvalMediaList, Raise<ETapiInvalMediaList>},
    {ecTapiInvalMediaMode, Raise<ETapiInvalMediaMode>},
    {ecTapiInvalMessageId, Raise<ETapiInvalMessageId>},
    {ecTapiInvalParam, Raise<ETapiInvalParam>},
    {ecTapiInvalParkId, Raise<ETapiInvalParkId>},
    {ecTapiInvalParkMode, Raise<ETapiInvalParkMode>},
    {ecTapiInvalPointer, Raise<ETapiInvalPointer>},
    {ecTapiInvalPrivSelect, Raise<ETapiInvalPrivSelect>},
    {ecTapiInvalRate, Raise<ETapiInvalRate>},
    {ecTapiInvalRequestMode, Raise<ETapiInvalRequestMode>},
    {ecTapiInvalTerminalId, Raise<ETapiInvalTerminalId>},
    {ecTapiInvalTerminalMode, Raise<ETapiInvalTerminalMode>},
    {ecTapiInvalTimeout, Raise<ETapiInvalTimeout>},
    {ecTapiInvalTone, Raise<ETapiInvalTone>},
    {ecTapiInvalToneList, Raise<ETapiInvalToneList>},
    {ecTapiInvalToneMode, Raise<ETapiInvalToneMode>},
    {ecTapiInvalTransferMode, Raise<ETapiInvalTransferMode>},
    {ecTapiLineMapperFailed, Raise<ETapiLineMapperFailed>},
    {ecTapiNoConference, Raise<ETapiNoConference>},
    {ecTapiNoDevice, Raise<ETapiNoDevice>},
    {ecTapiNoDriver, Raise<ETapiNoDriver>},
    {ecTapiNoMem, Raise<ETapiNoMem>},
    {ecTapiNoRequest, Raise<ETapiNoRequest>},
    {ecTapiNotOwner, Raise<ETapiNotOwner>},
    {ecTapiNotRegistered, Raise<ETapiNotRegistered>},
    {ecTapiOperationFailed, Raise<ETapiOperationFailed>},
    {ecTapiOperationUnavail, Raise<ETapiOperationUnavail>},
    {ecTapiRateUnavail, Raise<ETapiRateUnavail>},
    {ecTapiResourceUnavail, Raise<ETapiResourceUnavail>},
    {ecTapiRequestOverrun, Raise<ETapiRequestOverrun>},
    {ecTapiStructureTooSmall, Raise<ETapiStructureTooSmall>},
    {ecTapiTargetNotFound, Raise<ETapiTargetNotFound>},
    {ecTapiTargetSelf, Raise<ETapiTargetSelf>},
    {ecTapiUninitialized, Raise<ETapiUninitialized>},
    {ecTapiUserUserInfoTooBig, Raise<ETapiUserUserInfoTooBig>},
    {ecTapiReinit, Raise<ETapiReinit>},
    {ecTapiAddressBlocked, Raise<ETapiAddressBlocked>},
    {ecTapiBillingRejected, Raise<ETapiBillingRejected>},
    {ecTapiInvalFeature, Raise<ETapiInvalFeature>},
    {ecTapiNoMultipleInstance, Raise<ETapiNoMultipleInstance>},
    {ecTapiBusy, Raise<ETapiBusy>},
    {ecTapiNoAnswer, Raise<ETapiNoAnswer>},
    {ecTapiNoDialtone, Raise<ETapiNoDialtone>},
    {ecTapiUnexpected, Raise<ETapiUnexpected>},
    {ecTapiNoSelect, Raise<ETapiNoSelect>},
    {ecTapiNotSet, Raise<ETapiNotSet>},
    {ecTapiWaveFail, Raise<ETapiWaveFail>},
    {ecTapiGetTransCapsFail, Raise<ETapiGetTransCapsFail>},
    {ecTapiTranslateFail, Raise<ETapiTranslateFail>},

    {ecRasLoadFail, Raise<ERasLoadFail>},
};

}  // namespace

std::string FormatTableText(const std::string& pattern, const std::string& argument) {
  for (std::size_t i = 0; i + 1 < pattern.size(); ++i) {
    if (pattern[i] != '%') continue;
    if (pattern[i + 1] == 's' || pattern[i + 1] == 'd')
      return pattern.substr(0, i) + argument + pattern.substr(i + 2);
    if (pattern[i + 1] == '%') ++i;
  }
  return pattern;
}

std::string CodeMessage(int code) {
  const int number = std::abs(static_cast<int>(static_cast<std::int16_t>(code)));
  std::string text = AproErrorStrings().TextOf(number);
  if (text.size() > kMaxMessage) text.resize(kMaxMessage);
  if (text.empty()) text = SystemText(number);
  return text;
}

int RaiseForCode(bool componentLoading, int code) {
  if (code >= 0 || componentLoading) return code;
  for (const TCodeClass& entry : kCodeClasses)
    if (entry.Code == code) entry.RaiseIt(code);
  if (code == ecOutOfMemory) throw platform::EOutOfMemory();
  if (code <= ecFirstInOutError && code >= ecLastInOutError)
    throw platform::EInOutError(CodeMessage(code), -code);
  throw EAPDException("Apro exception");
}
