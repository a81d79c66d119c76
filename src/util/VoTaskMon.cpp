// Progress of a task: counts, speed and the estimated time left.

#include <voutil/VoTaskMon.h>

VoTaskMon::VoTaskMon() = default;

VoTaskMon::~VoTaskMon() = default;

unsigned long long VoTaskMon::getNCurrent() {
   SxMutexBlock lock(dataMutex);
   return nCurrent;
}

unsigned long long VoTaskMon::getNTotal() {
   SxMutexBlock lock(dataMutex);
   return nTotal;
}

unsigned long long VoTaskMon::getSpeed() {
   SxMutexBlock lock(dataMutex);
   return speed;
}

unsigned long long VoTaskMon::getETA() {
   SxMutexBlock lock(dataMutex);
   return speed == 0 ? 0 : (nTotal - nCurrent) / speed;
}

void VoTaskMon::setNCurrent(unsigned long long n) {
   SxMutexBlock lock(dataMutex);
   nCurrent = n;
}

void VoTaskMon::addNCurrent(unsigned long long n) {
   SxMutexBlock lock(dataMutex);
   nCurrent += n;
}

void VoTaskMon::setNTotal(unsigned long long n) {
   SxMutexBlock lock(dataMutex);
   nTotal = n;
}

void VoTaskMon::setSpeed(unsigned long long unitsPerTime) {
   SxMutexBlock lock(dataMutex);
   speed = unitsPerTime;
}

void VoTaskMon::stop() {
   SxMutexBlock lock(stopMutex);
   stopFlag = true;
}

bool VoTaskMon::stopRequested() const {
   SxMutexBlock lock(stopMutex);
   return stopFlag;
}
