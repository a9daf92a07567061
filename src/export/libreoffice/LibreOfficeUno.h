#pragma once

// The UNO side of the LibreOffice backend, for its own sources and its
// integration test: this header needs the SDK and the generated API headers.

#include <QString>

#include <com/sun/star/uno/Exception.hpp>
#include <com/sun/star/uno/Reference.hxx>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <rtl/ustring.hxx>

namespace LibreOfficeUno {

// This process's own UNO runtime, bootstrapped on first use from the office's
// fundamentalrc (URE_BOOTSTRAP is set to it first, unless already set).
// Throws a Failure when the office's runtime files are missing.
css::uno::Reference<css::uno::XComponentContext> localContext();

// The component context an office offers at `address`
// ("uno:pipe,name=...;urp;StarOffice.ComponentContext"). Throws
// css::connection::NoConnectException while nothing listens there.
// All callers in this process share one connection to an office: it lasts
// while any of them holds an object of the office.
css::uno::Reference<css::uno::XComponentContext> connect(const QString &address);

rtl::OUString toOUString(const QString &text);
QString toQString(const rtl::OUString &text);

// A user-readable description of the UNO exception being handled; call it
// only inside a catch block.
QString describeCaughtException();

} // namespace LibreOfficeUno
