// Every message text the library shows or raises, in one place. The texts are
// part of the product: callers and users match on them, so keep them verbatim
// (typos included).
#pragma once

namespace vx::res {

// Run-time style conversion and cast errors.
inline constexpr const char* SInvalidCast = "Invalid class typecast";
inline constexpr const char* SInvalidInteger = "'%s' is not a valid integer value";
inline constexpr const char* SListIndexError = "List index out of bounds (%d)";

// Byte streams.
inline constexpr const char* SInvalidStream = "Invalid Stream! Cannot create with null stream";
inline constexpr const char* SWriteOnlyCannotRead = "A write-only filter cannot read";
inline constexpr const char* SReadOnlyCannotWrite = "A read-only filter cannot write";
inline constexpr const char* SInvalidUniqueID = "Invalid unique ID (%d)";
inline constexpr const char* SFileReadFailed = "Cannot read file \"%s\". %s";
inline constexpr const char* SFileChangedWhileRead = "The file \"%s\" became shorter while it was read";

// Object parser.
inline constexpr const char* SStringReadError = "Error reading PDF string (%s)";
inline constexpr const char* SArrayReadError = "Error reading PDF array (%s)";
inline constexpr const char* SNameReadError = "Error reading PDF name string (%s)";
inline constexpr const char* SDictionaryReadError = "Error reading PDF dictionary (%s)";
inline constexpr const char* SStreamReadError = "Error reading PDF stream";
inline constexpr const char* SObjectHeaderInsideObject = "Object header inside another object (%s %s obj)";
inline constexpr const char* SEndStreamError = "Expected PDF endstream";
inline constexpr const char* SInvalidObjectNo = "Invalid object number";
inline constexpr const char* SBooleanError = "Expected boolean (%s) object";
inline constexpr const char* SNullObjectError = "Expected PDF null object";
inline constexpr const char* SInvalidHeader = "Invalid PDF Header (%s)";
inline constexpr const char* SUnsupportedVersion = "Unsupported PDF Version (%s)";
inline constexpr const char* SInvalidPDFFile = "Invalid PDF File";
inline constexpr const char* SUnexpectedStreamType = "Unexpected Stream Type";
inline constexpr const char* SOffsetError = "Error reading document. Unable to read offset";
inline constexpr const char* STrailerError = "Error reading PDF trailer";
inline constexpr const char* SIndexOutOfBounds = "Index Out Of Bounds!";
inline constexpr const char* SNestingTooDeep = "PDF objects nested too deeply (more than %d levels)";

// Documents.
inline constexpr const char* SFileNotFound = "%s File Not Found";
inline constexpr const char* SFileCorrupted = "File is corrupted";
inline constexpr const char* SUnexpectedObject = "Unexpected PDF object encountered";
inline constexpr const char* SUnexpectedError = "Unexpected Error";
inline constexpr const char* SInvalidPageNumber = "Invalid page number (%d)";
inline constexpr const char* SInvalidPageRange = "Invalid page range (%s)";
inline constexpr const char* SImproperPNGAlgorithm = "Improper PNG algorithm tag in stream";
inline constexpr const char* SInvalidObjectNumberWarning = "Invalid Object number in PDF (%d)";
inline constexpr const char* SStreamInsideArray = "Stream Object found inside Array!";
inline constexpr const char* SExpectedPageReference =
    "Expected Page Indirect Reference in Outline Destination!";
inline constexpr const char* SErrorInsertingResource = "Error inserting page resource";
inline constexpr const char* SUnexpectedContentObject = "Unexpected content object for page %d";
inline constexpr const char* SUnsupportedImageFormat = "Unsupported image format (%s)";
inline constexpr const char* SObjectNotLoaded = "Object %d was not read while loading";
inline constexpr const char* SFormNotDescribed = "The form's fields cannot be read (%s); the form is kept as it is";
inline constexpr const char* SKeptEntryUnreadable = "Entry %s left out: what it refers to cannot be read (%s)";
inline constexpr const char* SPageTreeUnreadable = "The page tree cannot be read: %s";
inline constexpr const char* SPageTreeRootMissing = "the catalog names no page tree";
inline constexpr const char* SPageTreeNodeMissing = "object %d is missing or damaged";
inline constexpr const char* SPageTreeNodeNotPage = "object %d is neither a page nor a page-tree node";
inline constexpr const char* SPageTreeKidMissing = "Page tree node %d is missing or damaged and is skipped";
inline constexpr const char* SPageTreeNodeShared = "Page tree node %d is reached a second time and is skipped";
inline constexpr const char* SPageTreeKidNotReference = "Page tree node %d has a kid that is not a reference; it is skipped";
inline constexpr const char* SPageTreeTooDeep = "Page tree deeper than %d levels; node %d is skipped";
inline constexpr const char* SOlderInfoPassedOver =
    "An older revision holds document information (/Info) that the newest trailer no longer names; it is not used";
inline constexpr const char* SDuplicateKey =
    "A dictionary gives the key %s more than once; its last value is used, as other readers use it";
inline constexpr const char* SDuplicateKeysMore = "%d more keys are given more than once in a dictionary";
inline constexpr const char* SPageListedAgain =
    "Page %d is listed more than once in the page tree; each further place gets a copy of it";
inline constexpr const char* SPagesLost = "The page tree declares %d pages but %d could be read";
inline constexpr const char* SDeepResolveLimit = "A structure of more than %d objects is cut short; the rest reads as null";
inline constexpr const char* SXRefRepaired =
    "The cross-reference data cannot be used (%s); it was rebuilt by scanning the file";
inline constexpr const char* SJunkBeforeHeader = "%d bytes before the PDF header are ignored";
inline constexpr const char* SRepairNoStartXRef = "no startxref";
inline constexpr const char* SRepairObjectsAfterStartXRef = "objects follow the last startxref";
inline constexpr const char* SRepairNoSection = "startxref does not point at a cross-reference section";
inline constexpr const char* SRepairUnreadableSection = "a cross-reference section does not parse: %s";
inline constexpr const char* SRepairPrevLoop = "the /Prev chain loops";
inline constexpr const char* SRepairObjectMisplaced = "object %d is not at its offset";
inline constexpr const char* SRepairNoRoot = "the trailer has no /Root";
inline constexpr const char* SRepairRootNotCatalog = "the /Root is not a catalog";
inline constexpr const char* SObjectStreamsNeedVersion =
    "Object streams need PDF 1.5 or later; the file is to be written as PDF %s";
inline constexpr const char* SReadForReportNotSaved =
    "A document read for a report holds only part of its file and cannot be saved";

// Status messages.
inline constexpr const char* SReadingXRefTable = "Reading Cross-Reference Table";
inline constexpr const char* SReadingXRefStream = "Reading Cross-Reference Stream Table";
inline constexpr const char* SDocumentReadComplete = "Document read complete. Pages read = %d";
inline constexpr const char* STraversingPages = "Traversing Pages...";
inline constexpr const char* SProcessingDestinations = "Processing Destinations";
inline constexpr const char* SProcessingAnnotations = "Processing Annotations...";
inline constexpr const char* SAcroFormsProcessed = "AcroForms Processed";
inline constexpr const char* SProcessingNameTree = "Processing Name Tree...";
inline constexpr const char* SReadingOutlines = "Reading Outlines...";
inline constexpr const char* SSavingFile = "Saving File %s";
inline constexpr const char* SBuildingOutlines = "Building Outlines...";
inline constexpr const char* SBuildingObjects = "Building Objects...";
inline constexpr const char* SWritingPages = "Writing Pages";
inline constexpr const char* SWritingXRef = "Writing Cross-Reference Table";
inline constexpr const char* SSaveComplete = "Save Complete";
inline constexpr const char* SCannotCreateTempFile = "Cannot create a temporary file in \"%s\". %s";
inline constexpr const char* SCannotWriteFile = "Cannot write to \"%s\". %s";
inline constexpr const char* SCannotReplaceFile = "Cannot replace \"%s\". %s";
inline constexpr const char* SFileTooLargeForXRef = "The file is too large for a cross-reference table";
inline constexpr const char* SNotRegularFile = "\"%s\" is not a regular file";
inline constexpr const char* SHardLinksSplit =
    "%s was one of %d hard links to one file; the other names keep the previous document";
inline constexpr const char* SAttributesNotKept = "The extended attributes of %s could not be kept: %s";
inline constexpr const char* SAttributeNotKept = "The extended attribute %s of %s could not be kept: %s";
inline constexpr const char* SSaveCancelled = "The save was cancelled; \"%s\" is unchanged";
inline constexpr const char* SIncrementalNeedsRewrite = "An incremental update cannot change %s; save with a full rewrite";
inline constexpr const char* SIncrementalVersion = "the PDF version to %s (the file is %s; an update can raise it only to 1.4 or later)";
inline constexpr const char* SIncrementalLowerVersion = "the PDF version to %s (the file is %s; an update can keep that version or raise it, never lower it)";
inline constexpr const char* SIncrementalCompression = "the compression of the file's streams";
inline constexpr const char* SIncrementalEncryption = "the encryption";
inline constexpr const char* SIncrementalStreamEncoding = "the encoding of the file's streams";
inline constexpr const char* SIncrementalObjectStreams = "the packing of objects into object streams";
inline constexpr const char* SIncrementalStripMetadata =
    "Metadata cannot be removed by an incremental update: the earlier revision, which an update keeps in the "
    "file, would still hold every removed value; save with a full rewrite (signatures then become invalid)";
inline constexpr const char* SIncrementalNoNumbers =
    "The file's /Size (%s) leaves no object number for an incremental update within the limit of 8388607; save "
    "with a full rewrite";
inline constexpr const char* SIncrementalNoXRef =
    "An incremental update needs the file's own cross-reference data, which could not be used; save with a full rewrite";
inline constexpr const char* SAppendingUpdate = "Appending an update to %s";
inline constexpr const char* SIncrementalLinearize = "the layout of the file for fast web view (linearization)";
inline constexpr const char* SLinearizationTooLarge = "The file is too large for the hint tables of a linearized file";
inline constexpr const char* SLinearizingNoPages = "The document has no pages: it is written without fast web view";
inline constexpr const char* SLinearizingDuplicatePages =
    "A page object appears more than once in the page tree: the file is written without fast web view";
inline constexpr const char* SWritingLinearized = "Writing for fast web view";

// Filters.
inline constexpr const char* SUnsupportedFilterNamed = "Unsupported filter (%s)";
inline constexpr const char* SUnsupportedFilter = "Unsupported filter";
inline constexpr const char* SUnexpectedFilterObject = "Unexpected filter object, found (%s)";
inline constexpr const char* SRLEEndOfDataWrong = "EndOfData Marker is wrong";
inline constexpr const char* SRLEPrematureEndOfData = "Premature EndOfData Marker found";
inline constexpr const char* SRLEUnexpectedEOF = "Unexpected EndOfFile found";
inline constexpr const char* SEndOfDataWrong = "EndOfData marker is wrong";
inline constexpr const char* SIllegalCharacter = "Illeagal character within stream";
inline constexpr const char* SZInPosition = "\"z\" found at inappropriate position";
inline constexpr const char* SSingleFinalCharacter = "Single Final Character";
inline constexpr const char* SAscii85GroupTooLarge = "ASCII85 group exceeds 32 bits";
inline constexpr const char* SLZWCodeOutOfRange = "LZW code out of range (%d)";
inline constexpr const char* SInvalidZStreamOperation = "Invalid ZStream operation!";
inline constexpr const char* SObjectStreamDamaged =
    "Object stream %s does not decode completely (%s): the objects in it that did not decode read as null";
inline constexpr const char* SInflateLimit = "Decoded stream data exceeds the limit of %s bytes";
inline constexpr const char* SMemoryBudget =
    "Decoding stopped: the memory budget of %s bytes for decoded data is used up";

// Security.
inline constexpr const char* SRC4InvalidKeyLength = "RC4: Invalid key length";
inline constexpr const char* SInvalidOwnerKey = "Invalid Owner Key.";
inline constexpr const char* SInvalidUserKey = "Invalid User Key.";
inline constexpr const char* SInvalidPermission = "Invalid permission in encryption dictionary";
inline constexpr const char* SUserCannotChangeEncryption = "User cannot change encryption settings";
inline constexpr const char* SUnsupportedEncryption = "Unsupported encryption (%s)";
inline constexpr const char* SPasswordRequired = "The document is encrypted and the password was not accepted";
inline constexpr const char* SCryptoFailure = "Encryption library failure (%s)";
inline constexpr const char* SUnknownSecurityHandler = "Unknown security handler %s";
inline constexpr const char* SPasswordNotEncodable =
    "The password holds %s, which PDFDocEncoding lacks: 40-bit, 128-bit and AES-128 encryption cannot use it "
    "(AES-256 can)";
inline constexpr const char* SEncryptLengthPassedOver =
    "The encryption dictionary's /Length (%s) is not a valid key length; %s bits are used";
inline constexpr const char* SUnknownCryptFilter =
    "Stream %s names the crypt filter %s, which the encryption dictionary lacks; it is kept as stored";
inline constexpr const char* SPermsKeyMismatch =
    "/Perms of the encryption dictionary does not confirm the key the password gives: the dictionary may have been "
    "altered, and text may decrypt wrongly";
inline constexpr const char* SPermsPMismatch =
    "/P of the encryption dictionary disagrees with /Perms: the permissions may have been altered";
inline constexpr const char* SPermsMetadataMismatch =
    "/EncryptMetadata of the encryption dictionary disagrees with /Perms";
inline constexpr const char* SPermsSaveRefused =
    "The encryption dictionary fails its integrity check (/Perms): saving it with this key could lose what it "
    "protects; open it with the owner password to save it";
inline constexpr const char* SUserPasswordUnknown =
    "The user password is needed to change this encryption (AES-256 cannot recover it from the owner password)";

// Document information.
inline constexpr const char* SProducerText = "Vexor Paginox V2.5";
inline constexpr const char* SXmpUnreadable = "The XMP metadata packet cannot be read (%s); it is kept as it is";
inline constexpr const char* SXmpNotUpdated = "The XMP metadata packet is kept as it is, not updated: %s";
inline constexpr const char* SMetadataNotStream =
    "The catalog's /Metadata is not a stream (%s): it is kept as it is, with no XMP packet read from it";

// Settings dialog and window.
inline constexpr const char* SDocumentSettingsCaption = "Document Settings and Preferences";
inline constexpr const char* SOnlyOwnerCanChangeEncryption =
    "Only the owner can change the encryption settings";
inline constexpr const char* SPasswordsDoNotMatch = "The %s Passwords do not match.\r\nPlease re-enter.";
inline constexpr const char* SNoSourceFile = "No source file specified!";
inline constexpr const char* SSourceNotFound = "Source file cannot be found!";

}  // namespace vx::res
