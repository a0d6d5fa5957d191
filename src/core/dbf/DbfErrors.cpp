// SPDX-License-Identifier: GPL-3.0-or-later
#include "DbfErrors.h"

#include "DbfFormat.h"
#include "DbfTable.h"
#include "text/PathText.h"

namespace tramazel::dbf::errors {

namespace fs = std::filesystem;

namespace {

std::string quotedName(const fs::path& file)
{
    return "«" + text::pathToUtf8(file.filename()) + "»";
}

std::string hexByte(unsigned value)
{
    static const char digits[] = "0123456789ABCDEF";
    return std::string("0x") + digits[(value >> 4) & 0xF] + digits[value & 0xF];
}

/// "NAME C(4,0)": a field as the details show it.
std::string fieldShape(const FieldInfo& f)
{
    return f.name + " " + f.type + "(" + std::to_string(f.width) + "," + std::to_string(f.decimals) + ")";
}

std::string where(const fs::path& table, std::uint32_t record, const FieldInfo& field, std::string_view shown)
{
    return text::pathToUtf8(table) + ": record " + std::to_string(record) + ", field " + field.name + ": \""
        + std::string(shown) + "\"";
}

} // namespace

Error tableCorrupt(const fs::path& table, const std::string& reason, const std::string& detail)
{
    return Error(ErrorCode::TableCorrupt,
        "La tabla " + quotedName(table) + " está dañada o no es una tabla dBASE: " + reason + " ("
            + text::pathToUtf8(table) + ").",
        text::pathToUtf8(table) + ": " + detail);
}

Error tableCutShort(const fs::path& table, std::uint64_t offset)
{
    return tableCorrupt(table,
        "el archivo se acaba antes de los registros que anuncia (posición " + std::to_string(offset) + ")",
        "short read at offset " + std::to_string(offset));
}

Error unsupportedVersion(const fs::path& table, std::uint8_t version)
{
    return Error(ErrorCode::TableUnsupported,
        "La tabla " + quotedName(table) + " es de una variante de dBASE que no se puede leer.",
        text::pathToUtf8(table) + ": version byte " + hexByte(version));
}

Error unsupportedFieldType(const fs::path& table, const FieldInfo& field)
{
    return Error(ErrorCode::TableUnsupported,
        "La tabla " + quotedName(table) + " tiene un campo de un tipo que no se puede leer («" + field.name
            + "»).",
        text::pathToUtf8(table) + ": field " + field.name + " of type "
            + hexByte(static_cast<unsigned char>(field.type)));
}

Error tableUnreadable(const fs::path& table)
{
    return Error(
        ErrorCode::FileIo, "No se puede leer la tabla " + quotedName(table) + ".", text::pathToUtf8(table));
}

Error tableUnwritable(const fs::path& table)
{
    return Error(ErrorCode::FileIo, "No se puede escribir en la tabla " + quotedName(table) + ".",
        text::pathToUtf8(table));
}

Error badStoredValue(
    const fs::path& table, std::uint32_t record, const FieldInfo& field, std::string_view stored)
{
    return Error(ErrorCode::TableCorrupt,
        "El campo «" + field.name + "» del registro " + std::to_string(record) + " de la tabla "
            + quotedName(table) + " no contiene un valor válido.",
        where(table, record, field, stored));
}

Error notANumber(const fs::path& table, std::uint32_t record, const FieldInfo& field, std::string_view shown)
{
    return Error(ErrorCode::ValueOutOfRange,
        "El campo «" + field.name + "» de la tabla " + quotedName(table) + " no contiene un número.",
        where(table, record, field, shown));
}

Error numberTooLarge(
    const fs::path& table, std::uint32_t record, const FieldInfo& field, std::string_view shown)
{
    return Error(ErrorCode::ValueOutOfRange,
        "El número del campo «" + field.name + "» de la tabla " + quotedName(table) + " es demasiado grande.",
        where(table, record, field, shown));
}

Error doesNotFit(const fs::path& table, const FieldInfo& field, std::string_view value)
{
    return Error(ErrorCode::ValueOutOfRange,
        "El valor «" + std::string(value) + "» no cabe en el campo «" + field.name + "» de la tabla "
            + quotedName(table) + ".",
        text::pathToUtf8(table) + ": field " + fieldShape(field));
}

Error wrongKind(const fs::path& table, const FieldInfo& field, std::string_view operation)
{
    return Error(ErrorCode::InvalidArgument,
        "El campo «" + field.name + "» de la tabla " + quotedName(table) + " no admite este valor.",
        text::pathToUtf8(table) + ": " + std::string(operation) + " on field " + field.name + " of type "
            + field.type);
}

Error unsupportedWrite(const fs::path& table, const FieldInfo& field)
{
    return Error(ErrorCode::TableUnsupported,
        "No se puede escribir en el campo «" + field.name + "» de la tabla " + quotedName(table) + ".",
        text::pathToUtf8(table) + ": writing fields of type " + field.type + " is not supported");
}

Error tableClosed()
{
    return Error(ErrorCode::InvalidArgument, "La tabla no está abierta.", "operation on a closed table");
}

Error notEditing(const fs::path& table)
{
    return Error(ErrorCode::InvalidArgument,
        "La tabla " + quotedName(table) + " no tiene ningún registro en edición.", text::pathToUtf8(table));
}

Error noCurrentRecord(const fs::path& table)
{
    return Error(ErrorCode::InvalidArgument,
        "La tabla " + quotedName(table) + " no tiene ningún registro actual que modificar.",
        text::pathToUtf8(table));
}

Error fieldNotFound(const fs::path& table, std::string_view name)
{
    return Error(ErrorCode::FieldNotFound,
        "La tabla " + quotedName(table) + " no tiene el campo «" + std::string(name) + "».",
        text::pathToUtf8(table) + ": field " + std::string(name));
}

Error fieldIndexOutOfRange(const fs::path& table, std::size_t field)
{
    return Error(ErrorCode::FieldNotFound, "La tabla " + quotedName(table) + " no tiene el campo pedido.",
        text::pathToUtf8(table) + ": field index " + std::to_string(field));
}

Error readOnly(const fs::path& table)
{
    return Error(
        ErrorCode::FileIo, "La tabla " + quotedName(table) + " es de solo lectura.", text::pathToUtf8(table));
}

Error indexNotMaintainable(const fs::path& table, const std::string& detail)
{
    return Error(ErrorCode::TableUnsupported,
        "No se puede modificar la tabla " + quotedName(table) + " porque no se puede mantener su índice.",
        text::pathToUtf8(table) + ": " + detail);
}

Error tableFull(const fs::path& table)
{
    return Error(ErrorCode::ValueOutOfRange, "La tabla " + quotedName(table) + " está llena.",
        text::pathToUtf8(table));
}

Error notWholeRecords(const fs::path& table, std::size_t size, std::size_t recordLength)
{
    return Error(ErrorCode::InvalidArgument,
        "Los datos no son registros completos de la tabla " + quotedName(table) + ".",
        text::pathToUtf8(table) + ": " + std::to_string(size) + " bytes for records of "
            + std::to_string(recordLength));
}

Error invalidTableName(std::string_view name)
{
    return Error(ErrorCode::InvalidArgument, "El nombre de tabla «" + std::string(name) + "» no es válido.",
        std::string(name));
}

Error tableNotFound(const fs::path& dir, const std::string& base)
{
    return Error(ErrorCode::FileNotFound,
        "No se encuentra la tabla «" + base + "» en la carpeta «" + text::pathToUtf8(dir) + "».",
        text::pathToUtf8(dir / text::pathFromUtf8(base + std::string(kDbfExtension))));
}

Error tableInUse(const std::string& base, const fs::path& table, bool exclusiveWanted)
{
    return Error(ErrorCode::TableLocked,
        "La tabla «" + base + "» está abierta en otro programa y no se puede usar ahora.",
        text::pathToUtf8(table) + (exclusiveWanted ? ": exclusive use refused" : ": in exclusive use"));
}

Error invalidDefinition(const std::string& base, const std::string& detail)
{
    return Error(ErrorCode::InvalidArgument,
        "No se puede crear la tabla «" + base + "»: su definición no es válida.", detail);
}

Error folderMissing(const std::string& base, const fs::path& dir)
{
    return Error(ErrorCode::FileNotFound,
        "No se puede crear la tabla «" + base + "»: no existe la carpeta «" + text::pathToUtf8(dir) + "».",
        text::pathToUtf8(dir));
}

Error createOverTableInUse(const std::string& base, const fs::path& table)
{
    return Error(ErrorCode::TableLocked,
        "No se puede crear la tabla «" + base + "» porque está abierta en otro programa.",
        text::pathToUtf8(table));
}

Error cannotReplace(const std::string& base, const fs::path& dir, const fs::path& leftover)
{
    return Error(ErrorCode::FileIo,
        "No se puede reemplazar la tabla «" + base + "» en la carpeta «" + text::pathToUtf8(dir) + "».",
        text::pathToUtf8(leftover));
}

Error cannotCreate(const std::string& base, const fs::path& dir, const fs::path& table)
{
    return Error(ErrorCode::FileIo,
        "No se puede crear la tabla «" + base + "» en la carpeta «" + text::pathToUtf8(dir) + "».",
        text::pathToUtf8(table));
}

Error indexCorrupt(const fs::path& index, const std::string& reason, const std::string& detail)
{
    return Error(ErrorCode::TableCorrupt,
        "El índice " + quotedName(index) + " está dañado: " + reason + " (" + text::pathToUtf8(index) + ").",
        text::pathToUtf8(index) + ": " + detail);
}

Error indexUnreadable(const fs::path& index)
{
    return Error(
        ErrorCode::FileIo, "No se puede leer el índice " + quotedName(index) + ".", text::pathToUtf8(index));
}

Error indexUnwritable(const fs::path& index)
{
    return Error(ErrorCode::FileIo, "No se puede escribir el índice " + quotedName(index) + ".",
        text::pathToUtf8(index));
}

Error indexCannotCreate(const fs::path& index)
{
    return Error(
        ErrorCode::FileIo, "No se puede crear el índice " + quotedName(index) + ".", text::pathToUtf8(index));
}

} // namespace tramazel::dbf::errors
