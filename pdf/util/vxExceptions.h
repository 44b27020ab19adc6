// The library's exception classes. Each carries only its message text; the
// class tells callers what kind of failure it was. The tree mirrors the
// library's units: parser errors derive straight from vx::Exception, the
// document's from EPDFException, the stream classes' from TvxException.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace vx {

// The general exception class.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& Message() const noexcept { return message_; }

 private:
  std::string message_;
};

#define VX_DECLARE_EXCEPTION(Name, Base) \
  class Name : public Base {             \
   public:                               \
    using Base::Base;                    \
  }

// Run-time errors of the original platform: invalid cast, bad integer text,
// list index out of range.
VX_DECLARE_EXCEPTION(EInvalidCast, Exception);
VX_DECLARE_EXCEPTION(EConvertError, Exception);
VX_DECLARE_EXCEPTION(EListError, Exception);

// Object parser (vxPDFParsers) and object model (vxPDFObjects).
VX_DECLARE_EXCEPTION(EStringReadError, Exception);
VX_DECLARE_EXCEPTION(EArrayReadError, Exception);
VX_DECLARE_EXCEPTION(ENameReadError, Exception);
VX_DECLARE_EXCEPTION(EDictionaryReadError, Exception);
VX_DECLARE_EXCEPTION(EStreamReadError, Exception);
VX_DECLARE_EXCEPTION(EEndStreamError, Exception);
VX_DECLARE_EXCEPTION(EBooleanError, Exception);
VX_DECLARE_EXCEPTION(ENullObjectError, Exception);
VX_DECLARE_EXCEPTION(EOffsetError, Exception);
VX_DECLARE_EXCEPTION(EInvalidHeader, Exception);
VX_DECLARE_EXCEPTION(EUnsupportedVersion, Exception);
VX_DECLARE_EXCEPTION(ETrailerError, Exception);
VX_DECLARE_EXCEPTION(EInvalidObjectNo, Exception);
VX_DECLARE_EXCEPTION(EInvalidIndex, Exception);
VX_DECLARE_EXCEPTION(EUnsupportedFilterError, Exception);
VX_DECLARE_EXCEPTION(EUnexpectedFilterObject, Exception);
VX_DECLARE_EXCEPTION(EInvalidPermission, Exception);
VX_DECLARE_EXCEPTION(ENestingTooDeep, Exception);

// Document-level errors that derive from the general class.
VX_DECLARE_EXCEPTION(EFileNotFound, Exception);
VX_DECLARE_EXCEPTION(EImproperPNGAlgorithm, Exception);
VX_DECLARE_EXCEPTION(EUnexpectedError, Exception);

// The document exception class and its descendants.
VX_DECLARE_EXCEPTION(EPDFException, Exception);
VX_DECLARE_EXCEPTION(EPDFFileCorruptedError, EPDFException);
VX_DECLARE_EXCEPTION(ECrossReferenceError, EPDFException);
VX_DECLARE_EXCEPTION(EUnexpectedObjectError, EPDFException);
VX_DECLARE_EXCEPTION(EInvalidPageError, EPDFException);
VX_DECLARE_EXCEPTION(EUnsupportedFontError, EPDFException);
VX_DECLARE_EXCEPTION(EUnsupportedImageError, EPDFException);
VX_DECLARE_EXCEPTION(EUnsupportedEncryption, EPDFException);
VX_DECLARE_EXCEPTION(EPasswordError, EPDFException);
VX_DECLARE_EXCEPTION(EObjectNotLoaded, EPDFException);
// A document setting given a value it cannot take (the message says which
// and what it can take).
VX_DECLARE_EXCEPTION(EInvalidLanguageTag, EPDFException);
VX_DECLARE_EXCEPTION(EInvalidZoom, EPDFException);
VX_DECLARE_EXCEPTION(EInvalidPropertyName, EPDFException);

// The library base exception and the stream classes' errors (vxClasses).
VX_DECLARE_EXCEPTION(TvxException, Exception);
VX_DECLARE_EXCEPTION(EInvalidStream, TvxException);
VX_DECLARE_EXCEPTION(EReadError, TvxException);
VX_DECLARE_EXCEPTION(EInvalidID, TvxException);

// zlib adapters (vxDZLIB).
VX_DECLARE_EXCEPTION(EZLibError, Exception);
VX_DECLARE_EXCEPTION(EZCompressionError, EZLibError);
VX_DECLARE_EXCEPTION(EZDecompressionError, EZLibError);

// Files written by the library (temporary file, rename, disk full).
VX_DECLARE_EXCEPTION(EWriteError, Exception);
// A save stopped by CancelSave before the file was complete.
VX_DECLARE_EXCEPTION(ESaveCancelled, EWriteError);
// An incremental update asked for a change only a full rewrite can make.
VX_DECLARE_EXCEPTION(EIncrementalSaveRefused, EWriteError);

#undef VX_DECLARE_EXCEPTION

}  // namespace vx
