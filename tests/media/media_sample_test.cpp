#include "media/media_sample.h"

#include <gtest/gtest.h>

namespace {

TEST(NTavoMediaPool, SampleHoldsHeaderThenPayload) {
  NTavoMediaPool pool;
  auto sample = pool.NewSample(100);
  ASSERT_NE(sample, nullptr);
  EXPECT_EQ(sample->GetType(), 10);
  EXPECT_EQ(sample->GetPayloadLength(), 72);
  EXPECT_EQ(sample->GetHeader(), sample->block());
  EXPECT_EQ(sample->GetPayload(), sample->block() + 28);
  EXPECT_NE(pool.ring().release_position(), pool.ring().allocation_position());
  sample.reset();
  EXPECT_EQ(pool.ring().release_position(), pool.ring().allocation_position());
}

TEST(NTavoMediaPool, PartShorterThanTheHeaderHasNoPayload) {
  NTavoMediaPool pool;
  auto sample = pool.NewSample(5);
  ASSERT_NE(sample, nullptr);
  EXPECT_EQ(sample->GetPayloadLength(), 0);
  EXPECT_EQ(sample->part_length(), 5);
  for (int i = 0; i < 28; ++i) EXPECT_EQ(sample->GetHeader()[i], 0) << i;
  EXPECT_EQ(pool.NewSample(0), nullptr);
}

TEST(NTavoMediaPool, FullPoolGivesNullUntilASampleIsDeleted) {
  NTavoMediaPool pool;
  auto a = pool.NewSample(524288);
  auto b = pool.NewSample(400000);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(pool.NewSample(300000), nullptr);
  a.reset();
  EXPECT_NE(pool.NewSample(300000), nullptr);
}

}  // namespace
