// The client library: the C interface of tarvel_shm.h over the server's own record code.
//
// Every entry point runs its body through Guard, so no C++ exception reaches a C caller: an
// allocation failure or any other exception becomes TARVEL_SHM_ERR_SYSTEM with its message.
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "shm/extended.h"
#include "shm/field_catalog.h"
#include "shm/field_listing.h"
#include "shm/seek_position.h"
#include "shm/shared_data.h"
#include "shm/stage_data.h"
#include "shm/stage_owner_liveness.h"
#include "tarvel_shm.h"

using tarvel::base::Status;
namespace shm = tarvel::shm;

struct tarvel_shm {
  std::string record;
  std::string lastError;
  std::unique_ptr<shm::TOrvoSharedData> data;         // a TOrvoStageData for the stage record
  std::unique_ptr<shm::StageOwnerLiveness> liveness;  // stage record only
  std::int32_t ownedId = 0;  // the owner ID this handle acquired, 0 when none
};

namespace {

thread_local std::string openError;

int CodeOf(const Status& st) {
  switch (st.code()) {
    case Status::Code::kOk:
      return TARVEL_SHM_OK;
    case Status::Code::kTimeout:
      return TARVEL_SHM_ERR_TIMEOUT;
    case Status::Code::kOutOfRange:
    case Status::Code::kTruncated:
      return TARVEL_SHM_ERR_RANGE;
    case Status::Code::kNotFound:
      return TARVEL_SHM_ERR_NOTFOUND;
    case Status::Code::kInvalidArgument:
      return TARVEL_SHM_ERR_ARG;
    case Status::Code::kUnavailable:
      return TARVEL_SHM_ERR_BUSY;
    case Status::Code::kCorrupt:
      return TARVEL_SHM_ERR_UNFIT;
    default:
      return TARVEL_SHM_ERR_SYSTEM;
  }
}

int Done(tarvel_shm* h, const Status& st) {
  h->lastError = st.ok() ? std::string() : st.message();
  return CodeOf(st);
}

int BadArgument(tarvel_shm* h, const char* what) {
  return h ? Done(h, Status::InvalidArgument(what)) : TARVEL_SHM_ERR_ARG;
}

// Runs `body`; an exception becomes an error code (and the handle's message when there is one).
template <typename F>
int Guard(tarvel_shm* h, F&& body) noexcept {
  try {
    return body();
  } catch (const std::exception& e) {
    try {
      if (h) h->lastError = e.what();
    } catch (...) {
    }
  } catch (...) {
    try {
      if (h) h->lastError = "unexpected failure";
    } catch (...) {
    }
  }
  return TARVEL_SHM_ERR_SYSTEM;
}

bool ValidCode(int code) {
  return code >= 0 && code <= 255;
}

bool KnownRecord(const std::string& r) {
  for (std::string_view k : shm::kRecordNames)
    if (r == k) return true;
  return false;
}

shm::RecordOptions Options(tarvel_shm* h, const char* suffix) {
  shm::RecordOptions o;
  if (suffix) o.nameSuffix = suffix;
  // The library prints nothing; the last message is kept for tarvel_shm_last_error.
  o.log = [h](const std::string& m) { h->lastError = m; };
  return o;
}

template <typename T>
int ReadTyped(tarvel_shm* h, int code, int index, T* v, shm::ValueType type) {
  return Guard(h, [&] {
    if (!h || !v || !ValidCode(code)) return BadArgument(h, "bad argument");
    T tmp{};
    const Status st = h->data->ReadValue(static_cast<std::uint8_t>(code), index, type, &tmp);
    if (st.ok()) *v = tmp;
    return Done(h, st);
  });
}

template <typename T>
int WriteTyped(tarvel_shm* h, int code, int index, T v, shm::ValueType type) {
  return Guard(h, [&] {
    if (!h || !ValidCode(code)) return BadArgument(h, "bad argument");
    return Done(h, h->data->WriteValue(static_cast<std::uint8_t>(code), index, &v, type));
  });
}

// A block of n bytes at (code, index) must lie inside the section; checked before any copy.
Status CheckBlock(tarvel_shm* h, int code, int index, size_t n) {
  const auto off = shm::TSeekPosition::Offset(static_cast<std::uint8_t>(code), index);
  const size_t size = h->data->Memory().size();
  if (!off || *off > size || n > size - *off) {
    return Status::OutOfRange("field code " + std::to_string(code) + " index " +
                              std::to_string(index) + ": " + std::to_string(n) +
                              " bytes do not fit the " + std::to_string(size) + "-byte section");
  }
  return Status::Ok();
}

void Fill(const shm::FieldInfo& f, tarvel_shm_field* out) {
  // Catalogue names are string literals, so data() is NUL-terminated.
  out->name = f.name.data();
  out->code = f.code;
  out->index = f.index;
  out->count = f.count;
  out->type = static_cast<int>(f.type);
  out->width = f.width;
  out->is_text = f.text ? 1 : 0;
}

shm::TOrvoStageData* StageOf(tarvel_shm* h) {
  return dynamic_cast<shm::TOrvoStageData*>(h->data.get());
}

}  // namespace

extern "C" {

int tarvel_shm_version(void) {
  return TARVEL_SHM_VERSION;
}

uint32_t tarvel_shm_layout_id(void) {
  try {
    static const std::uint32_t id = shm::LayoutId();
    return id;
  } catch (...) {
    return 0;
  }
}

const char* tarvel_shm_open_error(void) {
  return openError.c_str();
}

int tarvel_shm_open(const char* record, const char* suffix, int flags, tarvel_shm** out) {
  return Guard(nullptr, [&] {
    openError.clear();
    auto fail = [](int rc, std::string why) {
      openError = std::move(why);
      return rc;
    };
    if (!record || !out) return fail(TARVEL_SHM_ERR_ARG, "record name or result pointer is NULL");
    auto h = std::make_unique<tarvel_shm>();
    h->record = record;
    if (!KnownRecord(h->record))
      return fail(TARVEL_SHM_ERR_ARG, "\"" + h->record + "\" is not one of the five records");
    if (flags & ~TARVEL_SHM_CREATE) return fail(TARVEL_SHM_ERR_ARG, "unknown open flags");
    if (flags & TARVEL_SHM_CREATE) {
      // Creating makes the section and its mutex exist; no record is initialised here (that is
      // the server's creation step), and nothing is unlinked when the creator goes.
      shm::TOrvoSharedData creator(h->record, true, Options(h.get(), suffix));
      if (!creator.IsOpen())
        return fail(CodeOf(creator.OpenStatus()), creator.OpenStatus().message());
    }
    if (h->record == shm::kStageRecord) {
      auto stage = std::make_unique<shm::TOrvoStageData>(false, Options(h.get(), suffix));
      h->liveness =
          std::make_unique<shm::StageOwnerLiveness>("/" + stage->SectionName() + "_OWNER");
      h->data = std::move(stage);
    } else {
      h->data = std::make_unique<shm::TOrvoSharedData>(h->record, false, Options(h.get(), suffix));
    }
    if (!h->data->IsOpen())
      return fail(CodeOf(h->data->OpenStatus()), h->data->OpenStatus().message());
    h->lastError.clear();
    *out = h.release();
    return TARVEL_SHM_OK;
  });
}

void tarvel_shm_close(tarvel_shm* h) {
  try {
    delete h;
  } catch (...) {
  }
}

const char* tarvel_shm_section_name(const tarvel_shm* h) {
  return h ? h->data->SectionName().c_str() : "";
}
size_t tarvel_shm_size(const tarvel_shm* h) {
  return h ? h->data->Memory().size() : 0;
}
const char* tarvel_shm_last_error(const tarvel_shm* h) {
  return h ? h->lastError.c_str() : "";
}
void tarvel_shm_set_timeout(tarvel_shm* h, int timeout_ms) {
  if (h) h->data->Mutex().SetTimeoutMs(timeout_ms < 0 ? 0 : timeout_ms);
}

long tarvel_shm_offset(int code, int index) {
  if (!ValidCode(code)) return -1;
  const auto off = shm::TSeekPosition::Offset(static_cast<std::uint8_t>(code), index);
  return off ? static_cast<long>(*off) : -1;
}

int tarvel_shm_read(tarvel_shm* h, int code, int index, void* dst, size_t n) {
  return Guard(h, [&] {
    if (!h || (!dst && n) || !ValidCode(code)) return BadArgument(h, "bad argument");
    const Status fits = CheckBlock(h, code, index, n);
    if (!fits.ok()) return Done(h, fits);
    return Done(h, h->data->ReadBlock(static_cast<std::uint8_t>(code), index,
                                      std::span<std::uint8_t>(static_cast<std::uint8_t*>(dst), n)));
  });
}

int tarvel_shm_write(tarvel_shm* h, int code, int index, const void* src, size_t n) {
  return Guard(h, [&] {
    if (!h || (!src && n) || !ValidCode(code)) return BadArgument(h, "bad argument");
    const Status fits = CheckBlock(h, code, index, n);
    if (!fits.ok()) return Done(h, fits);
    return Done(h, h->data->WriteBlock(
                       static_cast<std::uint8_t>(code), index,
                       std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(src), n)));
  });
}

int tarvel_shm_read_u8(tarvel_shm* h, int c, int i, uint8_t* v) {
  return ReadTyped(h, c, i, v, shm::ValueType::kByte);
}
int tarvel_shm_read_i16(tarvel_shm* h, int c, int i, int16_t* v) {
  return ReadTyped(h, c, i, v, shm::ValueType::kInt16);
}
int tarvel_shm_read_i32(tarvel_shm* h, int c, int i, int32_t* v) {
  return ReadTyped(h, c, i, v, shm::ValueType::kInt32);
}
int tarvel_shm_read_f64(tarvel_shm* h, int c, int i, double* v) {
  return ReadTyped(h, c, i, v, shm::ValueType::kDouble);
}
int tarvel_shm_read_ext(tarvel_shm* h, int c, int i, double* v) {
  if (!v) return BadArgument(h, "bad argument");
  shm::ExtendedBytes raw{};
  const int rc = ReadTyped(h, c, i, &raw, shm::ValueType::kExtended);
  if (rc == TARVEL_SHM_OK) *v = shm::DecodeExtended(raw);
  return rc;
}
int tarvel_shm_write_u8(tarvel_shm* h, int c, int i, uint8_t v) {
  return WriteTyped(h, c, i, v, shm::ValueType::kByte);
}
int tarvel_shm_write_i16(tarvel_shm* h, int c, int i, int16_t v) {
  return WriteTyped(h, c, i, v, shm::ValueType::kInt16);
}
int tarvel_shm_write_i32(tarvel_shm* h, int c, int i, int32_t v) {
  return WriteTyped(h, c, i, v, shm::ValueType::kInt32);
}
int tarvel_shm_write_f64(tarvel_shm* h, int c, int i, double v) {
  return WriteTyped(h, c, i, v, shm::ValueType::kDouble);
}
int tarvel_shm_write_ext(tarvel_shm* h, int c, int i, double v) {
  return WriteTyped(h, c, i, shm::EncodeExtended(v), shm::ValueType::kExtended);
}

int tarvel_shm_access(tarvel_shm* h, tarvel_shm_access_fn fn, void* context) {
  return Guard(h, [&] {
    if (!h || !fn) return BadArgument(h, "no access function");
    int result = TARVEL_SHM_OK;
    const Status st = h->data->Locked([&](shm::HeldRecord& held) {
      result = fn(held.bytes().data(), held.bytes().size(), context);
      return true;
    });
    if (!st.ok()) return Done(h, st);
    h->lastError.clear();
    return result;
  });
}

int tarvel_shm_acquire_stage_owner(tarvel_shm* h, const char* name, int32_t* id) {
  return Guard(h, [&] {
    if (!h || !name || !id) return BadArgument(h, "bad argument");
    auto* stage = StageOf(h);
    if (!stage) return Done(h, Status::InvalidArgument("not an OrvoStageData handle"));
    // Holding the liveness lock means no live library owner exists; the record then tells
    // whether the ID it names is the one that owner covered.
    auto held = h->liveness->TryHold();
    if (!held.ok()) return Done(h, held.status());
    auto gone = [&](std::int32_t current) {
      if (!*held) return false;
      const auto covered = h->liveness->CoveredId();
      return covered.ok() && *covered == current;
    };
    auto acquired = [&](std::int32_t newId) {
      if (*held) (void)h->liveness->Cover(newId);
    };
    auto r = stage->AcquireStageOwner(name, gone, acquired);
    if (r.ok() && *r > 0) {
      h->ownedId = *r;
      // Another owner was releasing as this one came: cover the new ID now that the lock is free.
      if (!*held) {
        auto late = h->liveness->TryHold();
        if (late.ok() && *late) (void)h->liveness->Cover(*r);
      }
    } else if (*held && h->ownedId == 0) {
      h->liveness->Drop();
    }
    if (r.ok()) *id = *r;
    return Done(h, r.ok() ? Status::Ok() : r.status());
  });
}

int tarvel_shm_release_stage_owner(tarvel_shm* h, int32_t id) {
  return Guard(h, [&] {
    if (!h) return TARVEL_SHM_ERR_ARG;
    auto* stage = StageOf(h);
    if (!stage) return Done(h, Status::InvalidArgument("not an OrvoStageData handle"));
    const Status st = stage->ReleaseStageOwner(id);
    if (st.ok() && id == h->ownedId) {
      h->ownedId = 0;
      h->liveness->Drop();
    }
    return Done(h, st);
  });
}

int tarvel_shm_stage_owner_name(tarvel_shm* h, char* buf, size_t size) {
  return Guard(h, [&] {
    if (!h || !buf || size == 0) return BadArgument(h, "bad argument");
    auto* stage = StageOf(h);
    if (!stage) return Done(h, Status::InvalidArgument("not an OrvoStageData handle"));
    auto r = stage->GetStageOwnerName();
    if (!r.ok()) return Done(h, r.status());
    const size_t n = r->size() < size - 1 ? r->size() : size - 1;
    std::memcpy(buf, r->data(), n);
    buf[n] = '\0';
    return Done(h, Status::Ok());
  });
}

void tarvel_shm_ext_encode(double v, unsigned char out[10]) {
  if (!out) return;
  shm::EncodeExtended(v, std::span<std::uint8_t, shm::kExtendedSize>(out, shm::kExtendedSize));
}

double tarvel_shm_ext_decode(const unsigned char in[10]) {
  if (!in) return 0.0;
  return shm::DecodeExtended(
      std::span<const std::uint8_t, shm::kExtendedSize>(in, shm::kExtendedSize));
}

const char* tarvel_shm_record_at(int i) {
  constexpr int n = static_cast<int>(std::size(shm::kRecordNames));
  // Record names are string literals, so data() is NUL-terminated.
  return i >= 0 && i < n ? shm::kRecordNames[i].data() : nullptr;
}

int tarvel_shm_field_count(const char* record) {
  return record ? static_cast<int>(shm::FieldsOf(record).size()) : 0;
}

int tarvel_shm_field_at(const char* record, int i, tarvel_shm_field* out) {
  if (!record || !out) return TARVEL_SHM_ERR_ARG;
  const auto fields = shm::FieldsOf(record);
  if (i < 0 || static_cast<size_t>(i) >= fields.size()) return TARVEL_SHM_ERR_RANGE;
  Fill(fields[static_cast<size_t>(i)], out);
  return TARVEL_SHM_OK;
}

const char* tarvel_shm_element_name(const char* record, int i, int k) {
  if (!record) return nullptr;
  const auto fields = shm::FieldsOf(record);
  if (i < 0 || static_cast<size_t>(i) >= fields.size()) return nullptr;
  const auto& names = fields[static_cast<size_t>(i)].elementNames;
  if (k < 0 || static_cast<size_t>(k) >= names.size() || names[static_cast<size_t>(k)].empty())
    return nullptr;
  return names[static_cast<size_t>(k)].data();
}

int tarvel_shm_find_field(const char* record, const char* text, tarvel_shm_field* out, int* index) {
  return Guard(nullptr, [&] {
    if (!record || !text || !out || !index) return TARVEL_SHM_ERR_ARG;
    const auto ref = shm::FindField(record, text);
    if (!ref) return TARVEL_SHM_ERR_ARG;
    Fill(*ref->field, out);
    *index = ref->index;
    return TARVEL_SHM_OK;
  });
}

}  // extern "C"
