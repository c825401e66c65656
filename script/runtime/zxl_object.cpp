// ZXL objects: attribute maps, cloning, and the release protocol with destructor runs.
#include "script/runtime/zxl_object.h"

#include "script/runtime/zxl_engine.h"
#include "script/runtime/zxl_tables.h"

#include "core/threads.h"

#include <cstring>
#include <vector>

namespace
{

// Objects whose count reached 0 and whose attributes are still to be released. A release that happens while
// the list is being worked off only adds to it, so freeing a long chain never recurses.
struct pending_frees_t
{
  std::vector<zxl_object_t *> objects;
  bool draining = false;
};
thread_local pending_frees_t pending_frees;

// Runs the destructors of an object whose count reached 0; false when one of them kept the object.
bool run_destructors(zxl_object_t *object)
{
  zxl_engine_t *engine = zxl_get_engine();
  const zxl_destructor_runner_t runner = engine->destructor_runner;
  if ( runner == nullptr )
    return true;
  int32_t class_index = object->class_index;
  while ( class_index != 0 )
  {
    int32_t destructor = -1;
    int32_t parent = 0;
    {
      critical_section_guard_t guard(zxl_script_lock);
      if ( size_t(class_index) >= engine->classes.size() )
        break;
      const zxl_class_t &cls = *engine->classes[size_t(class_index)];
      destructor = cls.destructor_method;
      parent = cls.parent;
    }
    if ( destructor >= 0 )
    {
      // The 32 extra references keep the destructor's own copies of the object from bringing it back to 0.
      object->refs += 32;
      runner(destructor, object);
      const int32_t before = object->refs;
      object->refs -= 32;
      if ( before != 32 )
        return false;
    }
    // Parents always have lower indexes; anything else would loop.
    if ( parent >= class_index )
      break;
    class_index = parent;
  }
  return object->refs == 0;
}

void free_objects(zxl_object_t *object)
{
  pending_frees_t &pending = pending_frees;
  pending.objects.push_back(object);
  if ( pending.draining )
    return;
  pending.draining = true;
  struct reset_t
  {
    pending_frees_t &pending;
    ~reset_t() { pending.draining = false; }
  } reset {pending};
  while ( !pending.objects.empty() )
  {
    zxl_object_t *next = pending.objects.back();
    pending.objects.pop_back();
    zxl_attribute_map_t attributes = std::move(next->attributes);
    delete next;
    for ( auto &[name, value] : attributes )
      zxl_value_clear(&value);
  }
}

} // namespace

zxl_object_t *zxl_object_new(int32_t class_index)
{
  if ( class_index < 0 || class_index >= zxl_class_count() )
    class_index = 0;
  zxl_object_t *object = new zxl_object_t;
  object->class_index = class_index;
  return object;
}

void zxl_object_release(zxl_object_t *object)
{
  if ( --object->refs != 0 )
    return;
  if ( run_destructors(object) )
    free_objects(object);
}

void zxl_object_clone(zxl_value_t *slot)
{
  if ( slot->kind != ZK_OBJECT )
    return;
  const zxl_object_t *source = slot->object;
  zxl_value_t clone;
  clone.kind = ZK_OBJECT;
  clone.object = new zxl_object_t;
  clone.object->class_index = source->class_index;
  try
  {
    for ( const auto &[name, value] : source->attributes )
      clone.object->attributes.emplace(name, zxl_value_share(value, 283));
  }
  catch ( ... )
  {
    zxl_value_release(clone);
    throw;
  }
  zxl_value_replace(slot, clone);
}

zxl_value_t *zxl_attr_slot(zxl_object_t *object, std::string_view name)
{
  if ( zxl_value_t *found = zxl_find_attr(object, name) )
    return found;
  return &object->attributes.emplace(std::string(name), zxl_long(0)).first->second;
}

zxl_value_t *zxl_find_attr(zxl_object_t *object, std::string_view name)
{
  zxl_attribute_map_t &attributes = object->attributes;
  // Most objects have a handful of attributes: testing each name for equality is cheaper than the ordered
  // comparisons of a search down the tree.
  if ( attributes.size() <= 4 )
  {
    for ( auto &[key, value] : attributes )
    {
      if ( key.size() != name.size() )
        continue;
      size_t i = 0;
      while ( i < name.size() && key[i] == name[i] )
        ++i;
      if ( i == name.size() )
        return &value;
    }
    return nullptr;
  }
  const auto it = attributes.find(name);
  return it != attributes.end() ? &it->second : nullptr;
}
