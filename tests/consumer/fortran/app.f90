! A Fortran program that uses the installed package: the device transform, four1 and the status
! check, with its own stand-ins for the two CULA routines that the check calls.
program app
    use, intrinsic :: iso_c_binding, only: c_int32_t
    implicit none
    interface
        subroutine check_status(status) bind(C, name="quimbel_mp_check_status_")
            use, intrinsic :: iso_c_binding, only: c_int32_t
            integer(c_int32_t), intent(in) :: status
        end subroutine
    end interface
    complex :: signal(1024), spectrum(1024)

    signal = (0.0, 0.0)
    signal(1) = (1.0, 0.0)
    call c2c_1d(1024, signal, spectrum)     ! forward transform on the GPU
    call four1(signal, 1024, 1)             ! in-place transform, exponent sign +1
    call check_status(0_c_int32_t)
    if (any(spectrum /= (1.0, 0.0)) .or. any(signal /= (1.0, 0.0))) error stop 'wrong spectrum'
    print '(a)', 'fortran app ok'
end program app

function cula_geterrorinfo() bind(C, name="cula_geterrorinfo_") result(info)
    use, intrinsic :: iso_c_binding, only: c_int32_t
    integer(c_int32_t) :: info
    info = 0
end function cula_geterrorinfo

subroutine cula_getstatusstring(status) bind(C, name="cula_getstatusstring_")
    use, intrinsic :: iso_c_binding, only: c_int32_t
    integer(c_int32_t), intent(in) :: status
end subroutine cula_getstatusstring
