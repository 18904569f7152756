#include "scriptengine/sqlda.h"

#include <cstring>

#include "scriptengine/errors.h"

namespace updater::scriptengine {

SqlDa::SqlDa(int count) { Resize(count); }

void SqlDa::Resize(int count) {
  if (count < 1) count = 1;
  area_.assign(XSQLDA_LENGTH(count), 0);
  get()->version = SQLDA_VERSION1;
  get()->sqln = static_cast<ISC_SHORT>(count);
  storage_.assign(static_cast<size_t>(count), {});
  nulls_.assign(static_cast<size_t>(count), 0);
}

char* SqlDa::Storage(size_t i, size_t bytes) {
  storage_[i].assign(bytes == 0 ? 1 : bytes, 0);
  return storage_[i].data();
}

void SqlDa::AllocateOutput() {
  for (int i = 0; i < Described(); ++i) {
    XSQLVAR& v = var(static_cast<size_t>(i));
    size_t bytes = static_cast<size_t>(v.sqllen);
    if ((v.sqltype & ~1) == SQL_VARYING) bytes += sizeof(short);
    v.sqldata = Storage(static_cast<size_t>(i), bytes);
    v.sqlind = &nulls_[static_cast<size_t>(i)];
  }
}

void SqlDa::BindNull(size_t i) {
  XSQLVAR& v = var(i);
  v.sqltype = static_cast<ISC_SHORT>(v.sqltype | 1);
  if (v.sqldata == nullptr || storage_[i].size() < static_cast<size_t>(v.sqllen)) {
    v.sqldata = Storage(i, static_cast<size_t>(v.sqllen) + sizeof(short));
  }
  nulls_[i] = -1;
  v.sqlind = &nulls_[i];
}

void SqlDa::BindBlobId(size_t i, ISC_QUAD id) {
  XSQLVAR& v = var(i);
  v.sqltype = SQL_BLOB | 1;
  v.sqllen = sizeof(ISC_QUAD);
  std::memcpy(Storage(i, sizeof id), &id, sizeof id);
  v.sqldata = storage_[i].data();
  nulls_[i] = 0;
  v.sqlind = &nulls_[i];
}

void SqlDa::BindInput(size_t i, const Value& value) {
  XSQLVAR& v = var(i);
  const int described = v.sqltype & ~1;
  nulls_[i] = 0;
  v.sqlind = &nulls_[i];
  switch (value.kind) {
    case Value::Kind::kNull:
      BindNull(i);
      return;
    case Value::Kind::kInteger: {
      v.sqltype = SQL_INT64 | 1;
      v.sqlscale = static_cast<ISC_SHORT>(-value.scale);
      v.sqllen = sizeof(int64_t);
      std::memcpy(Storage(i, sizeof(int64_t)), &value.integer, sizeof(int64_t));
      break;
    }
    case Value::Kind::kDouble:
      v.sqltype = SQL_DOUBLE | 1;
      v.sqlscale = 0;
      v.sqllen = sizeof(double);
      std::memcpy(Storage(i, sizeof(double)), &value.real, sizeof(double));
      break;
    case Value::Kind::kDate:
      v.sqltype = SQL_TYPE_DATE | 1;
      v.sqllen = sizeof(ISC_DATE);
      std::memcpy(Storage(i, sizeof(ISC_DATE)), &value.date, sizeof(ISC_DATE));
      break;
    case Value::Kind::kTime:
      v.sqltype = SQL_TYPE_TIME | 1;
      v.sqllen = sizeof(ISC_TIME);
      std::memcpy(Storage(i, sizeof(ISC_TIME)), &value.time, sizeof(ISC_TIME));
      break;
    case Value::Kind::kTimestamp: {
      v.sqltype = SQL_TIMESTAMP | 1;
      v.sqllen = sizeof(ISC_TIMESTAMP);
      ISC_TIMESTAMP stamp{value.date, value.time};
      std::memcpy(Storage(i, sizeof stamp), &stamp, sizeof stamp);
      break;
    }
    case Value::Kind::kBoolean:
      v.sqltype = SQL_BOOLEAN | 1;
      v.sqllen = 1;
      *Storage(i, 1) = value.boolean ? 1 : 0;
      break;
    case Value::Kind::kText: {
      if (value.text.size() > 32767) {
        throw ScriptError("a string parameter of " + std::to_string(value.text.size()) +
                          " bytes is longer than the 32767 bytes a string can have");
      }
      // Texts keep the character set the statement expects; for any other
      // type the server converts the text as it converts a literal.
      if (described != SQL_TEXT && described != SQL_VARYING) v.sqlsubtype = 0;
      // UTF-8 says so itself: the server then converts it from UTF8, not
      // from the connection's set.
      if (value.utf8) v.sqlsubtype = kCharsetUtf8;
      v.sqltype = SQL_TEXT | 1;
      v.sqlscale = 0;
      v.sqllen = static_cast<ISC_SHORT>(value.text.size());
      std::memcpy(Storage(i, value.text.size()), value.text.data(), value.text.size());
      break;
    }
    case Value::Kind::kBlob:
    case Value::Kind::kBlobSlice:
      throw ScriptError("internal error: a blob must be bound by its id");
  }
  v.sqldata = storage_[i].data();
}

Value SqlDa::Get(size_t i) const {
  const XSQLVAR& v = var(i);
  if ((v.sqltype & 1) != 0 && v.sqlind != nullptr && *v.sqlind < 0) return Value::Null();
  const char* data = v.sqldata;
  switch (v.sqltype & ~1) {
    case SQL_SHORT: {
      int16_t n;
      std::memcpy(&n, data, sizeof n);
      return Value::Integer(n, -v.sqlscale);
    }
    case SQL_LONG: {
      int32_t n;
      std::memcpy(&n, data, sizeof n);
      return Value::Integer(n, -v.sqlscale);
    }
    case SQL_INT64: {
      int64_t n;
      std::memcpy(&n, data, sizeof n);
      return Value::Integer(n, -v.sqlscale);
    }
    case SQL_FLOAT: {
      float f;
      std::memcpy(&f, data, sizeof f);
      return Value::Double(f);
    }
    case SQL_DOUBLE: {
      double d;
      std::memcpy(&d, data, sizeof d);
      return Value::Double(d);
    }
    case SQL_TYPE_DATE: {
      ISC_DATE d;
      std::memcpy(&d, data, sizeof d);
      return Value::Date(d);
    }
    case SQL_TYPE_TIME: {
      ISC_TIME t;
      std::memcpy(&t, data, sizeof t);
      return Value::Time(t);
    }
    case SQL_TIMESTAMP: {
      ISC_TIMESTAMP s;
      std::memcpy(&s, data, sizeof s);
      return Value::Timestamp(s.timestamp_date, s.timestamp_time);
    }
    case SQL_TEXT:
      return Value::Text(std::string(data, static_cast<size_t>(v.sqllen)));
    case SQL_VARYING: {
      uint16_t length;
      std::memcpy(&length, data, sizeof length);
      return Value::Text(std::string(data + sizeof length, length));
    }
    case SQL_BOOLEAN:
      return Value::Boolean(*data != 0);
    case SQL_BLOB: {
      Value blob;
      blob.kind = Value::Kind::kBlob;
      std::memcpy(&blob.blob_id, data, sizeof blob.blob_id);
      return blob;
    }
    case SQL_NULL:
      return Value::Null();
    default:
      break;
  }
  throw ScriptError("the column " +
                    std::string(v.aliasname, static_cast<size_t>(v.aliasname_length)) +
                    " has a type the engine cannot read (" + std::to_string(v.sqltype & ~1) + ")");
}

void SqlDa::Read(size_t i, Value& value) const {
  const XSQLVAR& v = var(i);
  const int type = v.sqltype & ~1;
  const bool null = (v.sqltype & 1) != 0 && v.sqlind != nullptr && *v.sqlind < 0;
  if (null || (type != SQL_TEXT && type != SQL_VARYING)) {
    value = Get(i);
    return;
  }
  const char* data = v.sqldata;
  size_t length = static_cast<size_t>(v.sqllen);
  if (type == SQL_VARYING) {
    uint16_t varying;
    std::memcpy(&varying, data, sizeof varying);
    length = varying;
    data += sizeof varying;
  }
  std::string text = std::move(value.text);
  text.assign(data, length);
  value = Value{};
  value.kind = Value::Kind::kText;
  value.text = std::move(text);
}

Column SqlDa::DescribeColumn(size_t i) const {
  const XSQLVAR& v = var(i);
  Column column;
  column.name.assign(v.aliasname, static_cast<size_t>(v.aliasname_length));
  column.scale = -v.sqlscale;
  column.length = v.sqllen;
  switch (v.sqltype & ~1) {
    case SQL_SHORT:
      column.kind = ColumnKind::kSmallint;
      break;
    case SQL_LONG:
      column.kind = ColumnKind::kInteger;
      break;
    case SQL_INT64:
      column.kind = ColumnKind::kBigint;
      break;
    case SQL_FLOAT:
      column.kind = ColumnKind::kFloat;
      break;
    case SQL_DOUBLE:
      column.kind = ColumnKind::kDouble;
      break;
    case SQL_TYPE_DATE:
      column.kind = ColumnKind::kDate;
      break;
    case SQL_TYPE_TIME:
      column.kind = ColumnKind::kTime;
      break;
    case SQL_TIMESTAMP:
      column.kind = ColumnKind::kTimestamp;
      break;
    case SQL_TEXT:
      column.kind = ColumnKind::kChar;
      column.charset = v.sqlsubtype & 0xFF;
      break;
    case SQL_VARYING:
      column.kind = ColumnKind::kVarchar;
      column.charset = v.sqlsubtype & 0xFF;
      break;
    case SQL_BLOB:
      column.kind = ColumnKind::kBlob;
      column.sub_type = v.sqlsubtype;
      column.scale = 0;
      break;
    case SQL_BOOLEAN:
      column.kind = ColumnKind::kBoolean;
      break;
    default:
      throw ScriptError("the column " + column.name + " has a type the engine cannot read (" +
                        std::to_string(v.sqltype & ~1) + ")");
  }
  return column;
}

}  // namespace updater::scriptengine
