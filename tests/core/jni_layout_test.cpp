#include "jni/jni.h"

#include "core/jni_names.h"

#include <gtest/gtest.h>

#include <cstddef>

namespace {

constexpr size_t slotOf(size_t offset)
{
    return offset / sizeof(void*);
}

#define ENV_SLOT(name, index) \
    SlotCase { #name, slotOf(offsetof(JNINativeInterface_, name)), index }
#define VM_SLOT(name, index) \
    SlotCase { #name, slotOf(offsetof(JNIInvokeInterface_, name)), index }

struct SlotCase {
    const char* name;
    size_t actual;
    size_t expected;
};

// Positions from the published function table: one from each family, and the boundaries where
// a dropped or doubled slot in a generated family would show.
const SlotCase kEnvSlots[] = {
    ENV_SLOT(reserved3, 3),
    ENV_SLOT(GetVersion, 4),
    ENV_SLOT(FindClass, 6),
    ENV_SLOT(NewGlobalRef, 21),
    ENV_SLOT(NewObject, 28),
    ENV_SLOT(GetMethodID, 33),
    ENV_SLOT(CallObjectMethod, 34),
    ENV_SLOT(CallVoidMethodA, 63),
    ENV_SLOT(CallNonvirtualObjectMethod, 64),
    ENV_SLOT(CallNonvirtualVoidMethodA, 93),
    ENV_SLOT(GetFieldID, 94),
    ENV_SLOT(GetObjectField, 95),
    ENV_SLOT(SetDoubleField, 112),
    ENV_SLOT(GetStaticMethodID, 113),
    ENV_SLOT(CallStaticObjectMethod, 114),
    ENV_SLOT(CallStaticVoidMethodA, 143),
    ENV_SLOT(GetStaticFieldID, 144),
    ENV_SLOT(SetStaticObjectField, 154),
    ENV_SLOT(SetStaticDoubleField, 162),
    ENV_SLOT(NewString, 163),
    ENV_SLOT(NewStringUTF, 167),
    ENV_SLOT(GetStringUTFChars, 169),
    ENV_SLOT(GetArrayLength, 171),
    ENV_SLOT(NewObjectArray, 172),
    ENV_SLOT(NewByteArray, 176),
    ENV_SLOT(NewDoubleArray, 182),
    ENV_SLOT(GetByteArrayElements, 184),
    ENV_SLOT(ReleaseByteArrayElements, 192),
    ENV_SLOT(GetByteArrayRegion, 200),
    ENV_SLOT(SetByteArrayRegion, 208),
    ENV_SLOT(SetDoubleArrayRegion, 214),
    ENV_SLOT(RegisterNatives, 215),
    ENV_SLOT(GetJavaVM, 219),
    ENV_SLOT(GetStringRegion, 220),
    ENV_SLOT(ExceptionCheck, 228),
    ENV_SLOT(NewDirectByteBuffer, 229),
    ENV_SLOT(GetObjectRefType, 232),
    ENV_SLOT(GetModule, 233),
    ENV_SLOT(IsVirtualThread, 234),
};

const SlotCase kVmSlots[] = {
    VM_SLOT(reserved2, 2),
    VM_SLOT(DestroyJavaVM, 3),
    VM_SLOT(AttachCurrentThread, 4),
    VM_SLOT(DetachCurrentThread, 5),
    VM_SLOT(GetEnv, 6),
    VM_SLOT(AttachCurrentThreadAsDaemon, 7),
};

TEST(JniLayout, EnvSlotsSitAtTheirPublishedIndex)
{
    for (const SlotCase& slot : kEnvSlots)
        EXPECT_EQ(slot.actual, slot.expected) << slot.name;
    // Every slot is one pointer and nothing follows the last one.
    EXPECT_EQ(sizeof(JNINativeInterface_), 235 * sizeof(void*));
}

TEST(JniLayout, InvokeSlotsSitAtTheirPublishedIndex)
{
    for (const SlotCase& slot : kVmSlots)
        EXPECT_EQ(slot.actual, slot.expected) << slot.name;
    EXPECT_EQ(sizeof(JNIInvokeInterface_), 8 * sizeof(void*));
}

// The VM reads these records from the launcher's memory, so their fields must land where it
// expects them.
TEST(JniLayout, RecordsHandedToTheVm)
{
    EXPECT_EQ(sizeof(jvalue), 8u);
    EXPECT_EQ(offsetof(JavaVMOption, extraInfo), sizeof(void*));
    EXPECT_EQ(offsetof(JavaVMInitArgs, nOptions), 4u);
    EXPECT_EQ(offsetof(JavaVMInitArgs, options), 8u);
    EXPECT_EQ(offsetof(JavaVMInitArgs, ignoreUnrecognized), 8u + sizeof(void*));
    EXPECT_EQ(offsetof(JNINativeMethod, fnPtr), 2 * sizeof(void*));
    EXPECT_EQ(offsetof(JavaVMAttachArgs, group), 2 * sizeof(void*));
}

TEST(JniLayout, VersionsAndResults)
{
    EXPECT_EQ(JNI_VERSION_1_2, 0x00010002);
    EXPECT_EQ(JNI_VERSION_1_8, 0x00010008);
    EXPECT_EQ(JNI_VERSION_9, 0x00090000);
    EXPECT_EQ(JNI_VERSION_10, 0x000a0000);
    EXPECT_EQ(JNI_ERR, -1);
    EXPECT_EQ(JNI_EINVAL, -6);
    EXPECT_EQ(JNI_ABORT, 2);
}

// Each character class at its edges: the neighbours of A-Z, a-z and 0-9 are escaped.
TEST(JniNames, ExportNamesMangleClassAndMethod)
{
    EXPECT_EQ(jniExportName("a/B.c_d", "x;[$\xe9"), "Java_a_B_c_1d_x_2_3_00024_000e9");
    EXPECT_EQ(mangleJniName("@AZ[`az{/09:"), "_00040AZ_3_00060az_0007b_09_0003a");
}

}  // namespace
