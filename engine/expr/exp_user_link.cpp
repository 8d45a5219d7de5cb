#include "engine/expr/exp_user_link.h"

#include "engine/expr/ansi_locale.h"
#include "engine/expr/expr_functions.h"

namespace abonex {

namespace {

std::string upperName(std::string_view name) {
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    return ansiUpper(name);
}

// The table functions. They are only reached through a call compiled against a link, so
// args.link() is never null here; the checks keep a hand-built call harmless.
ExpValue fnRecno(const FunctionArgs& a) {
    return ExpValue::ofNumber(a.link() ? a.link()->recordNumber() : 0);
}
ExpValue fnDeleted(const FunctionArgs& a) {
    return ExpValue::ofBoolean(a.link() && a.link()->isDeleted());
}
ExpValue fnBof(const FunctionArgs& a) {
    return ExpValue::ofBoolean(a.link() && a.link()->atBeginning());
}
ExpValue fnEof(const FunctionArgs& a) {
    return ExpValue::ofBoolean(a.link() && a.link()->atEnd());
}

// TYPE of a name that is no field of the table answers "U" (undefined).
ExpValue fnType(const FunctionArgs& a) {
    const DbfField* field = a.link() ? a.link()->findField(upperName(a.text(0))) : nullptr;
    return ExpValue::ofText(std::string(1, field ? field->type : 'U'));
}

ExpValue fnFieldno(const FunctionArgs& a) {
    const DbfField* field = a.link() ? a.link()->findField(upperName(a.text(0))) : nullptr;
    return ExpValue::ofNumber(field ? field->number : 0);
}

// The table's LEN: the width of the named field. The built-in LEN is found first by name, so
// expressions never reach this one.
ExpValue fnFieldLen(const FunctionArgs& a) {
    const DbfField* field = a.link() ? a.link()->findField(upperName(a.text(0))) : nullptr;
    return ExpValue::ofNumber(field ? field->length : 0);
}

const TableDrivenFunction kTableFunctions[] = {
    {"RECNO", fnRecno}, {"DELETED", fnDeleted}, {"BOF", fnBof},      {"EOF", fnEof},
    {"TYPE", fnType},   {"FIELDNO", fnFieldno}, {"LEN", fnFieldLen},
};

}  // namespace

const TgsUserDefFunction* TgsExpUserLink::genericFunction(std::string_view) const {
    return nullptr;
}

const DbfField* TgsExpUserLink::findField(std::string_view name) const {
    const std::string wanted = upperName(name);
    for (const auto& field : fields()) {
        if (ansiUpper(field.name) == wanted) return &field;
    }
    const size_t period = wanted.find('.');
    if (period == std::string::npos) return nullptr;
    const std::string_view tail = std::string_view(wanted).substr(period + 1);
    for (const auto& field : fields()) {
        if (ansiUpper(field.name) == tail) return &field;
    }
    return nullptr;
}

const TgsUserDefFunction* TgsExpUserLink::tableFunction(std::string_view upperName) {
    for (const auto& function : kTableFunctions) {
        if (function.name() == upperName) return &function;
    }
    return nullptr;
}

std::string_view TgsExpUserLink::fieldBytes(const DbfField& field) const {
    const size_t length = recordLength();
    const uint8_t* buffer = recordBuffer();
    if (buffer == nullptr || field.offset < 0 || field.length <= 0 ||
        static_cast<size_t>(field.offset) >= length) {
        return {};
    }
    const size_t available = length - static_cast<size_t>(field.offset);
    const size_t count = std::min(available, static_cast<size_t>(field.length));
    return {reinterpret_cast<const char*>(buffer) + field.offset, count};
}

}  // namespace abonex
