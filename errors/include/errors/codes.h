// Result codes of the comm library and the identifiers of the message table.
//
// Dispatcher and port operations return 0 or a positive count on success and one of the
// negative ec* codes below on failure; RaiseForCode turns such a code into an exception. The
// message table holds each text under the code's absolute value. The socket layer works with
// positive numbers instead (ecWs* and wsa*), which it raises as EApdSocketException.
#pragma once

// ---- Input/output: negated Windows and runtime I/O error numbers ----
inline constexpr int ecOK = 0;
inline constexpr int ecFileNotFound = -2;
inline constexpr int ecPathNotFound = -3;
inline constexpr int ecTooManyFiles = -4;
inline constexpr int ecAccessDenied = -5;
inline constexpr int ecInvalidHandle = -6;
inline constexpr int ecOutOfMemory = -8;
inline constexpr int ecInvalidDrive = -15;
inline constexpr int ecNoMoreFiles = -18;
inline constexpr int ecDiskRead = -100;
inline constexpr int ecDiskFull = -101;
inline constexpr int ecNotAssigned = -102;
inline constexpr int ecNotOpen = -103;
inline constexpr int ecNotOpenInput = -104;
inline constexpr int ecNotOpenOutput = -105;
inline constexpr int ecWriteProtected = -150;
inline constexpr int ecUnknownUnit = -151;
inline constexpr int ecDriveNotReady = -152;
inline constexpr int ecUnknownCommand = -153;
inline constexpr int ecCrcError = -154;
inline constexpr int ecBadStructLen = -155;
inline constexpr int ecSeekError = -156;
inline constexpr int ecUnknownMedia = -157;
inline constexpr int ecSectorNotFound = -158;
inline constexpr int ecOutOfPaper = -159;
inline constexpr int ecDeviceWrite = -160;
inline constexpr int ecDeviceRead = -161;
inline constexpr int ecHardwareFailure = -162;
// The range RaiseForCode maps to the runtime's I/O error (except ecOutOfMemory).
inline constexpr int ecFirstInOutError = -2;
inline constexpr int ecLastInOutError = -162;

// ---- General (EGeneral) ----
inline constexpr int ecBadHandle = -1001;
inline constexpr int ecBadArgument = -1002;
inline constexpr int ecGotQuitMsg = -1003;
inline constexpr int ecBufferTooBig = -1004;
inline constexpr int ecPortNotAssigned = -1005;
inline constexpr int ecErrorCreatingWindowClass = -1006;
inline constexpr int ecModemNotAssigned = -1007;
inline constexpr int ecPhonebookNotAssigned = -1008;
inline constexpr int ecCannotUseWithWinSock = -1009;

// ---- Opening a device (EOpenComm) ----
inline constexpr int ecBadId = -2001;
inline constexpr int ecBaudRate = -2002;
inline constexpr int ecByteSize = -2003;
inline constexpr int ecDefault = -2004;
inline constexpr int ecHardware = -2005;
inline constexpr int ecMemory = -2006;
inline constexpr int ecCommNotOpen = -2007;
inline constexpr int ecAlreadyOpen = -2008;
inline constexpr int ecNoHandles = -2009;
inline constexpr int ecNoTimers = -2010;
inline constexpr int ecNoPortSelected = -2011;
inline constexpr int ecNotOpenedByTapi = -2012;

// ---- Device and buffers (ESerialIO) ----
inline constexpr int ecNullApi = -3001;
inline constexpr int ecNotSupported = -3002;
inline constexpr int ecRegisterHandlerFailed = -3003;
inline constexpr int ecPutBlockFail = -3004;
inline constexpr int ecGetBlockFail = -3005;
inline constexpr int ecOutputBufferTooSmall = -3006;
inline constexpr int ecBufferIsEmpty = -3007;
inline constexpr int ecTracingNotEnabled = -3008;
inline constexpr int ecLoggingNotEnabled = -3009;
inline constexpr int ecBaseAddressNotSet = -3010;

// ---- Modem (EModem) ----
inline constexpr int ecModemNotStarted = -4001;
inline constexpr int ecModemBusy = -4002;
inline constexpr int ecModemNotDialing = -4003;
inline constexpr int ecModemNotResponding = -4004;
inline constexpr int ecModemRejectedCommand = -4005;
inline constexpr int ecModemStatusMismatch = -4006;
inline constexpr int ecAlreadyDialing = -4007;
inline constexpr int ecNotDialing = -4008;

// ---- Triggers (ETrigger) ----
inline constexpr int ecNoMoreTriggers = -5001;
inline constexpr int ecTriggerTooLong = -5002;
inline constexpr int ecBadTriggerHandle = -5003;

// ---- Packet configuration: raised directly as EInvalidProperty ----
inline constexpr int ecStartStringEmpty = -5501;
inline constexpr int ecPacketTooSmall = -5502;
inline constexpr int ecNoEndCharCount = -5503;
inline constexpr int ecEmptyEndString = -5504;
inline constexpr int ecZeroSizePacket = -5505;
inline constexpr int ecPacketTooLong = -5506;

// ---- File-transfer protocols (EProtocol for three of them) ----
inline constexpr int ecInitFail = -6001;
inline constexpr int ecHandshakeTimeout = -6002;
inline constexpr int ecTooManyErrors = -6003;
inline constexpr int ecSequenceError = -6004;
inline constexpr int ecBlockCheckError = -6005;
inline constexpr int ecCancelRequested = -6006;
inline constexpr int ecNoHeader = -6007;
inline constexpr int ecBadFileList = -6008;
inline constexpr int ecFileRejected = -6009;
inline constexpr int ecUnexpectedChar = -6010;
inline constexpr int ecRemoteAbort = -6011;
inline constexpr int ecBadPacketType = -6012;
inline constexpr int ecFileExists = -6013;
inline constexpr int ecDiskSpaceLow = -6014;
inline constexpr int ecNoFilesToSend = -6015;
inline constexpr int ecProtocolBusy = -6016;

// ---- INI database (EINI; three internal faults raise EInternal) ----
inline constexpr int ecKeyTooLong = -7001;
inline constexpr int ecDataTooLarge = -7002;
inline constexpr int ecNoFieldsDefined = -7003;
inline constexpr int ecIniWrite = -7004;
inline constexpr int ecIniRead = -7005;
inline constexpr int ecNoIndexKey = -7006;
inline constexpr int ecRecordExists = -7007;
inline constexpr int ecRecordNotFound = -7008;
inline constexpr int ecDatabaseFull = -7009;
inline constexpr int ecDatabaseEmpty = -7010;
inline constexpr int ecBadFieldList = -7011;
inline constexpr int ecDatabaseNotPrepared = -7012;
inline constexpr int ecBadFieldForIndex = -7013;
inline constexpr int ecFieldNotFound = -7014;

// ---- Fax conversion and printing (EFax) ----
inline constexpr int ecFaxBadFormat = -8001;
inline constexpr int ecFaxBadHeader = -8002;
inline constexpr int ecFaxFontFileNotFound = -8003;
inline constexpr int ecFaxBadFontFile = -8004;
inline constexpr int ecFaxBadPageNumber = -8005;
inline constexpr int ecFaxNoFaxFile = -8006;
inline constexpr int ecFaxImageTooWide = -8007;
inline constexpr int ecFaxUnsupportedImage = -8008;
inline constexpr int ecFaxBadTiff = -8009;
inline constexpr int ecFaxTiffCompression = -8010;
inline constexpr int ecFaxBadPcx = -8011;
inline constexpr int ecFaxBadDcx = -8012;
inline constexpr int ecFaxBadBmp = -8013;
inline constexpr int ecFaxConvertAbort = -8014;
inline constexpr int ecFaxNoDriver = -8015;
inline constexpr int ecFaxConverterBusy = -8016;
inline constexpr int ecFaxPageError = -8070;

// ---- Telephony (ETapi): line errors, then the dialer's own ----
inline constexpr int ecTapiAllocated = -13801;
inline constexpr int ecTapiBadDeviceId = -13802;
inline constexpr int ecTapiBearerModeUnavail = -13803;
inline constexpr int ecTapiCallUnavail = -13804;
inline constexpr int ecTapiCompletionOverrun = -13805;
inline constexpr int ecTapiConferenceFull = -13806;
inline constexpr int ecTapiDialBilling = -13807;
inline constexpr int ecTapiDialDialtone = -13808;
inline constexpr int ecTapiDialPrompt = -13809;
inline constexpr int ecTapiDialQuiet = -13810;
inline constexpr int ecTapiIncompatibleApiVersion = -13811;
inline constexpr int ecTapiIncompatibleExtVersion = -13812;
inline constexpr int ecTapiIniFileCorrupt = -13813;
inline constexpr int ecTapiInUse = -13814;
inline constexpr int ecTapiInvalAddress = -13815;
inline constexpr int ecTapiInvalAddressId = -13816;
inline constexpr int ecTapiInvalAddressMode = -13817;
inline constexpr int ecTapiInvalAddressState = -13818;
inline constexpr int ecTapiInvalAppHandle = -13819;
inline constexpr int ecTapiInvalAppName = -13820;
inline constexpr int ecTapiInvalBearerMode = -13821;
inline constexpr int ecTapiInvalCallComplMode = -13822;
inline constexpr int ecTapiInvalCallHandle = -13823;
inline constexpr int ecTapiInvalCallParams = -13824;
inline constexpr int ecTapiInvalCallPrivilege = -13825;
inline constexpr int ecTapiInvalCallSelect = -13826;
inline constexpr int ecTapiInvalCallState = -13827;
inline constexpr int ecTapiInvalCallStateList = -13828;
inline constexpr int ecTapiInvalCard = -13829;
inline constexpr int ecTapiInvalCompletionId = -13830;
inline constexpr int ecTapiInvalConfCallHandle = -13831;
inline constexpr int ecTapiInvalConsultCallHandle = -13832;
inline constexpr int ecTapiInvalCountryCode = -13833;
inline constexpr int ecTapiInvalDeviceClass = -13834;
inline constexpr int ecTapiInvalDeviceHandle = -13835;
inline constexpr int ecTapiInvalDialParams = -13836;
inline constexpr int ecTapiInvalDigitList = -13837;
inline constexpr int ecTapiInvalDigitMode = -13838;
inline constexpr int ecTapiInvalDigits = -13839;
inline constexpr int ecTapiInvalExtVersion = -13840;
inline constexpr int ecTapiInvalGroupId = -13841;
inline constexpr int ecTapiInvalLineHandle = -13842;
inline constexpr int ecTapiInvalLineState = -13843;
inline constexpr int ecTapiInvalLocation = -13844;
inline constexpr int ecTapiInvalMediaList = -13845;
inline constexpr int ecTapiInvalMediaMode = -13846;
inline constexpr int ecTapiInvalMessageId = -13847;
// -13848 is not used.
inline constexpr int ecTapiInvalParam = -13849;
inline constexpr int ecTapiInvalParkId = -13850;
inline constexpr int ecTapiInvalParkMode = -13851;
inline constexpr int ecTapiInvalPointer = -13852;
inline constexpr int ecTapiInvalPrivSelect = -13853;
inline constexpr int ecTapiInvalRate = -13854;
inline constexpr int ecTapiInvalRequestMode = -13855;
inline constexpr int ecTapiInvalTerminalId = -13856;
inline constexpr int ecTapiInvalTerminalMode = -13857;
inline constexpr int ecTapiInvalTimeout = -13858;
inline constexpr int ecTapiInvalTone = -13859;
inline constexpr int ecTapiInvalToneList = -13860;
inline constexpr int ecTapiInvalToneMode = -13861;
inline constexpr int ecTapiInvalTransferMode = -13862;
inline constexpr int ecTapiLineMapperFailed = -13863;
inline constexpr int ecTapiNoConference = -13864;
inline constexpr int ecTapiNoDevice = -13865;
inline constexpr int ecTapiNoDriver = -13866;
inline constexpr int ecTapiNoMem = -13867;
inline constexpr int ecTapiNoRequest = -13868;
inline constexpr int ecTapiNotOwner = -13869;
inline constexpr int ecTapiNotRegistered = -13870;
inline constexpr int ecTapiOperationFailed = -13871;
inline constexpr int ecTapiOperationUnavail = -13872;
inline constexpr int ecTapiRateUnavail = -13873;
inline constexpr int ecTapiResourceUnavail = -13874;
inline constexpr int ecTapiRequestOverrun = -13875;
inline constexpr int ecTapiStructureTooSmall = -13876;
inline constexpr int ecTapiTargetNotFound = -13877;
inline constexpr int ecTapiTargetSelf = -13878;
inline constexpr int ecTapiUninitialized = -13879;
inline constexpr int ecTapiUserUserInfoTooBig = -13880;
inline constexpr int ecTapiReinit = -13881;
inline constexpr int ecTapiAddressBlocked = -13882;
inline constexpr int ecTapiBillingRejected = -13883;
inline constexpr int ecTapiInvalFeature = -13884;
// -13885 is not used.
inline constexpr int ecTapiNoMultipleInstance = -13886;
inline constexpr int ecTapiBusy = -13928;
inline constexpr int ecTapiNoAnswer = -13929;
inline constexpr int ecTapiNoDialtone = -13930;
inline constexpr int ecTapiUnexpected = -13931;
inline constexpr int ecTapiNoSelect = -13932;
inline constexpr int ecTapiNotSet = -13933;
inline constexpr int ecTapiWaveFail = -13934;
inline constexpr int ecTapiGetTransCapsFail = -13935;
inline constexpr int ecTapiTranslateFail = -13942;
inline constexpr int ecFirstTapi = -13801;
inline constexpr int ecLastTapi = -13942;

// ---- Dial-up networking (ERas) ----
inline constexpr int ecRasLoadFail = -13980;

// ---- Socket layer: positive, carried by EApdSocketException ----
inline constexpr int ecWsTitle = 9001;  // a title text, never shown
inline constexpr int ecWsLoadError = 9002;
inline constexpr int ecWsVersionError = 9003;
inline constexpr int ecWsNotInitialized = 9004;  // "Winsock not initialized - %s"
inline constexpr int ecWsInvalidPort = 9005;
inline constexpr int ecWsCantChangeWhileConnected = 9006;
inline constexpr int ecWsCantResolveAddress = 9007;

// Winsock 1.1 error numbers, as the socket library reports them.
inline constexpr int wsaEIntr = 10004;
inline constexpr int wsaEBadF = 10009;
inline constexpr int wsaEAcces = 10013;
inline constexpr int wsaEFault = 10014;
inline constexpr int wsaEInval = 10022;
inline constexpr int wsaEMFile = 10024;
inline constexpr int wsaEWouldBlock = 10035;
inline constexpr int wsaEInProgress = 10036;
inline constexpr int wsaEAlready = 10037;
inline constexpr int wsaENotSock = 10038;
inline constexpr int wsaEDestAddrReq = 10039;
inline constexpr int wsaEMsgSize = 10040;
inline constexpr int wsaEProtoType = 10041;
inline constexpr int wsaENoProtoOpt = 10042;
inline constexpr int wsaEProtoNoSupport = 10043;
inline constexpr int wsaESocktNoSupport = 10044;
inline constexpr int wsaEOpNotSupp = 10045;
inline constexpr int wsaEPfNoSupport = 10046;
inline constexpr int wsaEAfNoSupport = 10047;
inline constexpr int wsaEAddrInUse = 10048;
inline constexpr int wsaEAddrNotAvail = 10049;
inline constexpr int wsaENetDown = 10050;
inline constexpr int wsaENetUnreach = 10051;
inline constexpr int wsaENetReset = 10052;
inline constexpr int wsaEConnAborted = 10053;
inline constexpr int wsaEConnReset = 10054;
inline constexpr int wsaENoBufs = 10055;
inline constexpr int wsaEIsConn = 10056;
inline constexpr int wsaENotConn = 10057;
inline constexpr int wsaEShutdown = 10058;
inline constexpr int wsaETooManyRefs = 10059;
inline constexpr int wsaETimedOut = 10060;
inline constexpr int wsaEConnRefused = 10061;
inline constexpr int wsaELoop = 10062;
inline constexpr int wsaENameTooLong = 10063;
inline constexpr int wsaEHostDown = 10064;
inline constexpr int wsaEHostUnreach = 10065;
inline constexpr int wsaENotEmpty = 10066;
inline constexpr int wsaEProcLim = 10067;
inline constexpr int wsaEUsers = 10068;
inline constexpr int wsaEDQuot = 10069;
inline constexpr int wsaEStale = 10070;
inline constexpr int wsaERemote = 10071;
inline constexpr int wsaSysNotReady = 10091;
inline constexpr int wsaVerNotSupported = 10092;
inline constexpr int wsaNotInitialised = 10093;
inline constexpr int wsaEDiscon = 10101;
inline constexpr int wsaHostNotFound = 11001;
inline constexpr int wsaTryAgain = 11002;
inline constexpr int wsaNoRecovery = 11003;
inline constexpr int wsaNoData = 11004;

// ---- Names of the dispatch log, looked up in the message table ----
inline constexpr int idLogKindBase = 15001;          // + kind 0..19
inline constexpr int idLogSubtypeBase = 15100;       // + subtype 1..251
inline constexpr int idLogHeader = 15501;            // column titles
inline constexpr int idLogHeaderRule = 15502;        // the dashes under them
inline constexpr int idLogModemBitBase = 15601;      // + bit 0..7, each name ends in a space
inline constexpr int idLogTelnetOptionBase = 15700;  // + option 0..42
inline constexpr int idLogLastTelnetOption = 42;

// ---- The string reader's own messages ("ADSRMGR_STRINGS") ----
inline constexpr int idStringNotFound = 1;         // "String not found: %d"
inline constexpr int idCannotLockResource = 2;     // "Cannot lock resource"
inline constexpr int idResourceNotFound = 3;       // "String resource not found: %s"
inline constexpr int idCannotOpenResource = 4;     // "Unable to open string resource: %s"
inline constexpr int idInvalidStringResource = 5;  // "Invalid TPString resource"
