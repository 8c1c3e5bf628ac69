// The C client library, called in this process and from a second process (the C helper).
#include "tarvel_shm.h"

#include <cstring>

#include "shm/can_dial_data.h"
#include "shm/ion_data.h"
#include "shm/monit_data.h"
#include "shm/monitoring_sem_data.h"
#include "shm/stage_data.h"
#include "test_support.h"

namespace tarvel::shm {
namespace {

using namespace test;

class ClientLibraryTest : public ShmTest {};

TEST_F(ClientLibraryTest, OpeningAMissingSectionIsNotFound) {
  tarvel_shm* h = nullptr;
  EXPECT_EQ(tarvel_shm_open("OrvoIonData", Suffix().c_str(), 0, &h), TARVEL_SHM_ERR_NOTFOUND);
  EXPECT_EQ(h, nullptr);
  EXPECT_EQ(tarvel_shm_open("NoSuchRecord", Suffix().c_str(), 0, &h), TARVEL_SHM_ERR_ARG);
}

TEST_F(ClientLibraryTest, TypedFieldsByCodeAndIndex) {
  TOrvoMonitData server(true, Options());
  tarvel_shm* h = nullptr;
  ASSERT_EQ(tarvel_shm_open("OrvoMonitorData", Suffix().c_str(), 0, &h), TARVEL_SHM_OK);
  EXPECT_EQ(tarvel_shm_size(h), 3872u);
  EXPECT_EQ(std::string(tarvel_shm_section_name(h)), "OrvoMonitorData" + Suffix());

  ASSERT_TRUE(server.SetFieldValue(0.3).ok());
  double d = 0;
  ASSERT_EQ(tarvel_shm_read_ext(h, 10, 2, &d), TARVEL_SHM_OK);
  EXPECT_EQ(d, 0.3);
  ASSERT_EQ(tarvel_shm_write_i16(h, 7, 32, 2), TARVEL_SHM_OK);
  EXPECT_EQ(*server.GetValveState(32), 2);
  ASSERT_EQ(tarvel_shm_write_f64(h, 15, 2, 30.0), TARVEL_SHM_OK);
  EXPECT_EQ(*server.GetRefAccV(), 30.0);

  // Refused and foreign fields change nothing and leave the output alone.
  int16_t v = 77;
  EXPECT_EQ(tarvel_shm_read_i16(h, 19, 151, &v), TARVEL_SHM_ERR_RANGE);
  EXPECT_EQ(v, 77);
  EXPECT_NE(std::string(tarvel_shm_last_error(h)), "");
  EXPECT_EQ(tarvel_shm_write_i32(h, 4, 0, 1), TARVEL_SHM_ERR_RANGE);  // a stage-record code
  unsigned char big[16] = {};
  EXPECT_EQ(tarvel_shm_write(h, 19, 150, big, sizeof big), TARVEL_SHM_ERR_RANGE);  // past the end
  EXPECT_EQ(tarvel_shm_offset(9, 13), 3132);
  EXPECT_EQ(tarvel_shm_offset(6, 201), -1);
  tarvel_shm_close(h);
}

int CountNonZero(unsigned char* data, size_t size, void* ctx) {
  int n = 0;
  for (size_t i = 0; i < size; ++i) n += data[i] != 0;
  *static_cast<int*>(ctx) = n;
  return 5;
}

TEST_F(ClientLibraryTest, AccessRunsUnderTheMutex) {
  TOrvoCanDialData server(true, Options());
  ASSERT_TRUE(server.SetDialWord(2, 0x01010101).ok());
  tarvel_shm* h = nullptr;
  ASSERT_EQ(tarvel_shm_open("CanDialData", Suffix().c_str(), 0, &h), TARVEL_SHM_OK);
  int n = 0;
  EXPECT_EQ(tarvel_shm_access(h, CountNonZero, &n), 5);
  EXPECT_EQ(n, 4);
  tarvel_shm_close(h);
}

TEST_F(ClientLibraryTest, CreateMakesTheSectionWithoutAServer) {
  tarvel_shm* h = nullptr;
  ASSERT_EQ(tarvel_shm_open("OrvoStageData", Suffix().c_str(), TARVEL_SHM_CREATE, &h),
            TARVEL_SHM_OK);
  EXPECT_EQ(tarvel_shm_size(h), 228u);
  int32_t id = 0;
  ASSERT_EQ(tarvel_shm_acquire_stage_owner(h, "Client", &id), TARVEL_SHM_OK);
  EXPECT_GE(id, 1);
  char name[16];
  ASSERT_EQ(tarvel_shm_stage_owner_name(h, name, sizeof name), TARVEL_SHM_OK);
  EXPECT_STREQ(name, "Client");
  ASSERT_EQ(tarvel_shm_release_stage_owner(h, id), TARVEL_SHM_OK);
  tarvel_shm_close(h);
  ASSERT_EQ(tarvel_shm_open("CanDialData", Suffix().c_str(), TARVEL_SHM_CREATE, &h), TARVEL_SHM_OK);
  EXPECT_EQ(tarvel_shm_acquire_stage_owner(h, "x", &id), TARVEL_SHM_ERR_ARG);
  tarvel_shm_close(h);
}

TEST_F(ClientLibraryTest, ExtendedConversion) {
  unsigned char b[10];
  tarvel_shm_ext_encode(1.0, b);
  const unsigned char one[10] = {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F};
  EXPECT_EQ(std::memcmp(b, one, 10), 0);
  EXPECT_EQ(tarvel_shm_ext_decode(one), 1.0);
}

TEST_F(ClientLibraryTest, FieldCatalogue) {
  tarvel_shm_field f{};
  int index = 0;
  ASSERT_EQ(tarvel_shm_find_field("OrvoStageData", "Position[4]", &f, &index), TARVEL_SHM_OK);
  EXPECT_STREQ(f.name, "Position");
  EXPECT_EQ(f.code, 4);
  EXPECT_EQ(index, 4);
  EXPECT_EQ(tarvel_shm_offset(f.code, index), 16);
  ASSERT_EQ(tarvel_shm_find_field("OrvoMonitorData", "StageConstant[eu_offset]", &f, &index),
            TARVEL_SHM_OK);
  EXPECT_EQ(index, 5);
  EXPECT_EQ(f.type, TARVEL_SHM_EXTENDED);
  EXPECT_EQ(tarvel_shm_find_field("OrvoStageData", "Position[7]", &f, &index), TARVEL_SHM_ERR_ARG);
  EXPECT_EQ(tarvel_shm_find_field("OrvoStageData", "Position", &f, &index), TARVEL_SHM_ERR_ARG);
  EXPECT_GT(tarvel_shm_field_count("OrvoMonitorData"), 40);
  EXPECT_EQ(tarvel_shm_field_count("Other"), 0);
  // The second process resolves names the same way.
  Ran r = RunToEnd(Helper({"field", "OrvoMonitorData", "AlarmFlag[150]"}));
  EXPECT_EQ(r.out, "19 150 1 2 3868\n");
}

// Every typed field of every record, written by another process through the library, lands at
// the published offset in this process's view: one protocol for all.
TEST_F(ClientLibraryTest, EveryCatalogueFieldRoundTripsBetweenProcesses) {
  TOrvoMonitData monitor(true, Options());
  TOrvoIonData ion(true, Options());
  TOrvoStageData stage(true, Options());
  TMonitoringSEMData sem(true, Options());
  TOrvoCanDialData dial(true, Options());
  TOrvoSharedData* records[] = {&monitor, &ion, &stage, &sem, &dial};
  int checked = 0;
  for (TOrvoSharedData* rec : records) {
    const int n = tarvel_shm_field_count(rec->RecordName().c_str());
    for (int i = 0; i < n; ++i) {
      tarvel_shm_field f{};
      ASSERT_EQ(tarvel_shm_field_at(rec->RecordName().c_str(), i, &f), TARVEL_SHM_OK);
      if (f.type == TARVEL_SHM_BLOCK) continue;
      // The last element of every field: the one most likely to be off by one.
      const int index = f.index + f.count - 1;
      const std::string value = f.type >= TARVEL_SHM_DOUBLE ? "12.5" : std::to_string(100 + i);
      SCOPED_TRACE(rec->RecordName() + " " + f.name);
      Ran w = RunToEnd(Helper({"write", rec->RecordName(), Suffix(), std::to_string(f.code),
                               std::to_string(index), std::to_string(f.type), value}));
      ASSERT_EQ(w.status, 0);
      const auto b = RawBytes(rec->RecordName());
      const long off = tarvel_shm_offset(f.code, index);
      switch (f.type) {
        case TARVEL_SHM_INT16:
          EXPECT_EQ(std::to_string(*rec->ReadI16(f.code, index)), value);
          break;
        case TARVEL_SHM_INT32:
          EXPECT_EQ(std::to_string(*rec->ReadI32(f.code, index)), value);
          break;
        case TARVEL_SHM_DOUBLE:
          EXPECT_EQ(At<double>(b, off), 12.5);
          break;
        case TARVEL_SHM_EXTENDED:
          EXPECT_EQ(ExtAt(b, off), 12.5);
          break;
        default:
          ADD_FAILURE() << "type " << f.type;
      }
      ++checked;
    }
  }
  EXPECT_GT(checked, 60);
}

}  // namespace
}  // namespace tarvel::shm
